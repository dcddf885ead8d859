#pragma once

#include <QColor>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QUrl>

#include <functional>

// A label that behaves as a hyperlink: underlined text, a pointing-hand cursor over the
// text, red while pressed, and on release either a callback or the URL opened in the
// desktop's browser. In screen-name mode it shows "Вы: " and the user's name, the name's
// first letter in red. The label draws its styled text itself (per-character colour and
// underline, an ellipsis at the tail when the text does not fit).
class QZLink : public QLabel {
    Q_OBJECT

public:
    enum class Underline { None, Single, Dotted };

    // The attributes of one UTF-16 unit of the shown text. An invalid colour means the
    // label's text colour; `truncatesTail` is the paragraph style that elides the end.
    struct CharStyle {
        Underline underline = Underline::None;
        QColor color;
        bool truncatesTail = false;
        bool operator==(const CharStyle&) const = default;
    };

    // Opens a URL; returns whether the desktop accepted it.
    using UrlOpener = std::function<bool(const QUrl&)>;

    explicit QZLink(QWidget* parent = nullptr);

    // Set-up after the owner's setupUi: tracking over the text, the colour blue, the
    // style applied, screen-name mode off.
    void awakeFromNib();

    // Switches screen-name mode; takes effect at the next setObjectValue.
    void setIsScreenNameHackEnabled(bool enabled);
    bool isScreenNameHackEnabled() const { return m_isScreenNameHackEnabled; }

    // Stores a copy of `url` rebuilt from its full text; what a click opens when no
    // callback is set.
    void setUrl(const QUrl& url);
    QUrl url() const { return m_url; }

    // Stores the callback (slot or invokable method `selector` of `object`, called without
    // argument) and sets the colour 130, 130, 130, which the restyle turns into the
    // callback grey. An empty selector clears the callback. The object is not owned.
    void setCallbackObject(QObject* object, const QString& selector);
    // The same with a function; an empty function clears the callback.
    void setCallbackObject(std::function<void()> callback);
    // Stores the callback without the colour change, then shows `text`.
    void setObjectValue(const QString& text, QObject* object, const QString& selector);
    // Shows `text` (as "Вы: %1" in screen-name mode), styles it and recomputes the
    // text area; in screen-name mode also resizes the label keeping its right edge.
    void setObjectValue(const QString& text);
    // Whether a click calls a callback rather than opening the URL.
    bool hasCallback() const { return !m_action.isEmpty() || bool(m_callback); }

    // Replace the colour (components 0..1 or 0..255) and restyle.
    void setColorWithFloatR(float red, float green, float blue);
    void setColorWithIntR(int red, int green, int blue);
    QColor color() const { return m_color; }

    // Restyles the shown text from the press and pointer state.
    void updateStyle();
    // Recomputes the tracking area and the cursor over the current text area.
    void updateRects();

    // The label's origin (25 to the right in screen-name mode) with the size of the styled
    // text, clipped to the label.
    QRect textRect() const;
    // The area the pointer is tracked in (the text area at the last updateRects).
    QRect trackingRect() const { return m_trackingRect; }
    // The colour characters without their own colour are drawn in.
    QColor textColor() const { return m_textColor; }
    // The attributes of character `index` of the shown text; default attributes when out
    // of range.
    CharStyle styleAt(int index) const;
    // The colour character `index` is drawn in.
    QColor effectiveColorAt(int index) const;
    bool mouseIsWithin() const { return m_mouseIsWithin; }
    bool mouseIsDown() const { return m_mouseIsDown; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Replaces how URLs are opened (tests); an empty opener restores the desktop's.
    // Returns the previous opener.
    static UrlOpener setUrlOpener(UrlOpener opener);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void styleRange(int from, int to, const CharStyle& style);
    void showStyledText();
    void setMouseWithin(bool within);
    void updateCursor(const QPoint& position);
    void performClick();
    QSizeF styledTextSize() const;

    bool m_mouseIsWithin = false;
    bool m_mouseIsDown = false;
    QRect m_trackingRect;
    QUrl m_url;
    QColor m_color = QColor(0, 0, 0);
    QColor m_textColor = QColor(0, 0, 0);
    QPointer<QObject> m_actionObject;
    QByteArray m_action;
    std::function<void()> m_callback;
    bool m_isScreenNameHackEnabled = false;
    // One entry per UTF-16 unit of text().
    QList<CharStyle> m_styles;
};
