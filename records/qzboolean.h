#pragma once

// A boolean that travels where an object is expected (the uploader's start notice).
class QZBoolean {
public:
    QZBoolean() = default;
    explicit QZBoolean(bool value) : m_value(value) {}

    // A new flag holding `value`.
    static QZBoolean booleanWithValue(bool value) { return QZBoolean(value); }
    bool value() const { return m_value; }
    void setValue(bool value) { m_value = value; }

private:
    bool m_value = false;
};
