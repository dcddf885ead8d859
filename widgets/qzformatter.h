#pragma once

#include <QValidator>

// The formatter of the sign-in fields: values are the strings themselves, and an edit
// that would make the text longer than `maxLength` UTF-16 units is refused whole (a
// paste is not cut). One formatter may serve several fields.
class QZFormatter : public QValidator {
    Q_OBJECT

public:
    // No limit.
    explicit QZFormatter(QObject* parent = nullptr);
    // At most `maxLength` units; 0 or less means no limit.
    explicit QZFormatter(int maxLength, QObject* parent = nullptr);

    int maxLength() const { return m_maxLength; }

    // The value shown for `value`: the string itself.
    QString stringForObjectValue(const QString& value) const;
    // Stores `string` in `place` and returns true; returns false and changes nothing
    // without a place. `error` is never written.
    bool getObjectValue(QString* place, const QString& string, QString* error) const;
    // Whether `partial` (the text as it would be after an edit) is allowed: true when
    // there is no limit or it has at most `maxLength` units. Never proposes a
    // replacement in `newString` nor writes `error`.
    bool isPartialStringValid(const QString& partial, QString* newString, QString* error) const;

    // The field's check of every edit: Acceptable or Invalid (the edit is undone).
    State validate(QString& input, int& position) const override;

private:
    int m_maxLength = -1;
};
