#include "qzlink.h"

#include "log.h"

#include <QCursor>
#include <QDesktopServices>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace {

const QColor linkRed(255, 0, 0);
const QColor linkBlack(0, 0, 0);
const QColor linkBlue(0, 0, 255);
const QColor callbackGrey(90, 90, 90);

// The name starts after "Вы: "; the text area starts this far right in screen-name mode.
constexpr int screenNameStart = 4;
constexpr int screenNameTextShift = 25;

QZLink::UrlOpener& urlOpener() {
    static QZLink::UrlOpener opener;
    return opener;
}

} // namespace

QZLink::QZLink(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setMouseTracking(true);
}

void QZLink::awakeFromNib() {
    setMouseTracking(true);
    updateRects();
    m_color = linkBlue;
    updateStyle();
    m_isScreenNameHackEnabled = false;
}

void QZLink::setIsScreenNameHackEnabled(bool enabled) {
    m_isScreenNameHackEnabled = enabled;
}

void QZLink::setUrl(const QUrl& url) {
    m_url = QUrl(url.toString(QUrl::FullyEncoded));
}

void QZLink::setCallbackObject(QObject* object, const QString& selector) {
    m_callback = nullptr;
    m_actionObject = object;
    m_action = selector.toLatin1();
    setColorWithIntR(130, 130, 130);
}

void QZLink::setCallbackObject(std::function<void()> callback) {
    m_actionObject = nullptr;
    m_action.clear();
    m_callback = std::move(callback);
    setColorWithIntR(130, 130, 130);
}

void QZLink::setObjectValue(const QString& text, QObject* object, const QString& selector) {
    m_callback = nullptr;
    m_actionObject = object;
    m_action = selector.toLatin1();
    setObjectValue(text);
}

void QZLink::setObjectValue(const QString& text) {
    const QString shown = m_isScreenNameHackEnabled ? QStringLiteral("Вы: %1").arg(text) : text;
    setText(shown);
    const CharStyle plain{hasCallback() ? Underline::Dotted : Underline::Single, QColor(), true};
    m_styles = QList<CharStyle>(shown.size(), plain);
    showStyledText();
    updateRects();
    if (!m_isScreenNameHackEnabled)
        return;

    styleRange(0, shown.size(), CharStyle{});
    styleRange(screenNameStart, shown.size(), CharStyle{Underline::Single, QColor(), false});
    styleRange(screenNameStart, screenNameStart + 1, CharStyle{Underline::Single, linkRed, false});
    // Fit the label to its text, keeping the right edge where it was.
    const int oldWidth = width();
    const QSize fitted = sizeHint();
    setGeometry(x() + oldWidth - fitted.width(), y(), fitted.width(), fitted.height());
    showStyledText();
    updateRects();
}

void QZLink::setColorWithFloatR(float red, float green, float blue) {
    m_color = QColor::fromRgbF(red, green, blue, 1.0f);
    updateStyle();
}

void QZLink::setColorWithIntR(int red, int green, int blue) {
    setColorWithFloatR(red / 255.0f, green / 255.0f, blue / 255.0f);
}

void QZLink::updateStyle() {
    if (m_isScreenNameHackEnabled) {
        const int length = int(text().size());
        if (!m_mouseIsDown) {
            styleRange(0, length, CharStyle{Underline::Single, linkBlack, false});
            styleRange(screenNameStart, screenNameStart + 1,
                       CharStyle{Underline::Single, linkRed, false});
            styleRange(0, screenNameStart, CharStyle{Underline::None, linkBlack, false});
        } else if (m_mouseIsWithin) {
            styleRange(screenNameStart, length, CharStyle{Underline::Single, linkRed, false});
        }
        showStyledText();
        return;
    }
    // Every callback link shows in the same grey, whatever colour was set before.
    if (hasCallback())
        m_color = callbackGrey;
    m_textColor = m_mouseIsDown ? linkRed : m_color;
    update();
}

void QZLink::updateRects() {
    m_trackingRect = textRect();
    updateCursor(underMouse() ? mapFromGlobal(QCursor::pos()) : QPoint(-1, -1));
}

QRect QZLink::textRect() const {
    const QSizeF size = styledTextSize();
    const QRect area(m_isScreenNameHackEnabled ? screenNameTextShift : 0, 0,
                     int(std::ceil(size.width())), int(std::ceil(size.height())));
    return area & rect();
}

QZLink::CharStyle QZLink::styleAt(int index) const {
    if (index < 0 || index >= m_styles.size())
        return {};
    return m_styles.at(index);
}

QColor QZLink::effectiveColorAt(int index) const {
    const QColor own = styleAt(index).color;
    return own.isValid() ? own : m_textColor;
}

QSize QZLink::sizeHint() const {
    const QSizeF size = styledTextSize();
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

QSize QZLink::minimumSizeHint() const {
    return {0, sizeHint().height()};
}

QZLink::UrlOpener QZLink::setUrlOpener(UrlOpener opener) {
    UrlOpener previous = urlOpener();
    urlOpener() = std::move(opener);
    return previous;
}

void QZLink::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QString shown = text();
    const QFontMetricsF metrics(font());
    painter.setFont(font());

    // An ellipsis replaces the tail when the paragraph style asks for it and the text
    // does not fit.
    qsizetype count = shown.size();
    bool elided = false;
    if (styleAt(0).truncatesTail && metrics.horizontalAdvance(shown) > width()) {
        elided = true;
        const qreal ellipsisWidth = metrics.horizontalAdvance(QStringLiteral("…"));
        while (count > 0 && metrics.horizontalAdvance(shown.left(count)) + ellipsisWidth > width())
            --count;
        if (count > 0 && shown.at(count - 1).isHighSurrogate())
            --count;
    }

    const qreal baseline = metrics.ascent();
    const int underlineY = int(std::floor(baseline + metrics.underlinePos()));
    const int lineWidth = qMax(1, int(std::lround(metrics.lineWidth())));
    qreal x = 0;
    auto drawRun = [&](const QString& run, const CharStyle& style, const QColor& color) {
        const qreal runWidth = metrics.horizontalAdvance(run);
        painter.setPen(color);
        painter.drawText(QPointF(x, baseline), run);
        const int left = int(std::floor(x));
        const int right = int(std::ceil(x + runWidth));
        if (style.underline == Underline::Single) {
            painter.fillRect(QRect(left, underlineY, right - left, lineWidth), color);
        } else if (style.underline == Underline::Dotted) {
            // Dots on a fixed grid, so adjacent runs keep one pattern.
            const int step = 2 * lineWidth;
            for (int dot = (left + step - 1) / step * step; dot < right; dot += step)
                painter.fillRect(QRect(dot, underlineY, lineWidth, lineWidth), color);
        }
        x += runWidth;
    };
    for (qsizetype i = 0; i < count;) {
        qsizetype j = i + 1;
        while (j < count && styleAt(int(j)) == styleAt(int(i)))
            ++j;
        drawRun(shown.mid(i, j - i), styleAt(int(i)), effectiveColorAt(int(i)));
        i = j;
    }
    if (elided) {
        const int last = int(qMax<qsizetype>(count - 1, 0));
        drawRun(QStringLiteral("…"), styleAt(last), effectiveColorAt(last));
    }
}

void QZLink::mouseMoveEvent(QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    updateCursor(position);
    setMouseWithin(m_trackingRect.contains(position));
    QLabel::mouseMoveEvent(event);
}

void QZLink::mousePressEvent(QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    if (event->button() != Qt::LeftButton || !textRect().contains(position)) {
        // Outside the text the press belongs to the parent.
        event->ignore();
        return;
    }
    event->accept();
    m_mouseIsDown = true;
    setMouseWithin(true);
    updateStyle();
}

void QZLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_mouseIsDown) {
        event->ignore();
        return;
    }
    event->accept();
    m_mouseIsDown = false;
    const QPointer<QZLink> self(this);
    performClick();
    // The callback may have taken the label away.
    if (!self)
        return;
    updateStyle();
    updateCursor(event->position().toPoint());
}

void QZLink::leaveEvent(QEvent* event) {
    setMouseWithin(false);
    unsetCursor();
    QLabel::leaveEvent(event);
}

void QZLink::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    updateRects();
}

void QZLink::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
        updateRects();
        update();
    }
}

void QZLink::styleRange(int from, int to, const CharStyle& style) {
    for (int i = qMax(from, 0); i < qMin(to, int(m_styles.size())); ++i)
        m_styles[i] = style;
}

void QZLink::showStyledText() {
    update();
}

void QZLink::setMouseWithin(bool within) {
    if (within == m_mouseIsWithin)
        return;
    m_mouseIsWithin = within;
    updateStyle();
}

void QZLink::updateCursor(const QPoint& position) {
    if (m_trackingRect.contains(position))
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void QZLink::performClick() {
    if (m_callback) {
        m_callback();
        return;
    }
    if (m_actionObject && !m_action.isEmpty()) {
        if (!QMetaObject::invokeMethod(m_actionObject, m_action.constData(), Qt::DirectConnection))
            Log::write(QStringLiteral("%1: %2").arg(
                QStringLiteral("mouseUp"),
                QStringLiteral("no method %1 to call").arg(QString::fromLatin1(m_action))));
        return;
    }
    const UrlOpener& opener = urlOpener();
    if (opener)
        opener(m_url);
    else
        QDesktopServices::openUrl(m_url);
}

QSizeF QZLink::styledTextSize() const {
    const QFontMetricsF metrics(font());
    return {metrics.horizontalAdvance(text()), metrics.height()};
}
