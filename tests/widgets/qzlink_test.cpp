#include "qzlink.h"
#include "screenshot.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

namespace {

const QColor red(255, 0, 0);
const QColor blue(0, 0, 255);
const QColor black(0, 0, 0);
const QColor grey(90, 90, 90);

// A page that counts the presses its children pass on.
class Page : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent* event) override {
        ++presses;
        event->accept();
    }
};

// What the label shows, read back from its pixels.
class Rendering {
public:
    explicit Rendering(QZLink& link)
        : m_image(link.grab().toImage().convertToFormat(QImage::Format_ARGB32)),
          m_text(link.text()), m_metrics(link.font()) {
        m_underlineY = int(std::floor(m_metrics.ascent() + m_metrics.underlinePos()));
    }

    // The pixel columns character `index` covers, a pixel kept clear at each end.
    std::pair<int, int> columns(int index) const {
        const int left = int(std::ceil(m_metrics.horizontalAdvance(m_text.left(index)))) + 1;
        const int right = int(std::floor(m_metrics.horizontalAdvance(m_text.left(index + 1)))) - 1;
        return {left, right};
    }
    // How many pixels of the underline row under character `index` have `color`, and
    // how many pixels that row has there.
    std::pair<int, int> underlinePixels(int index, const QColor& color) const {
        const auto [left, right] = columns(index);
        int matching = 0;
        for (int x = left; x < right; ++x)
            matching += m_image.pixelColor(x, m_underlineY) == color ? 1 : 0;
        return {matching, right - left};
    }
    bool solidUnderline(int index, const QColor& color) const {
        const auto [matching, all] = underlinePixels(index, color);
        return all > 0 && matching == all;
    }
    // Every other pixel or so: some in the colour, some gaps.
    bool dottedUnderline(int index, const QColor& color) const {
        const auto [matching, all] = underlinePixels(index, color);
        return matching >= all / 3 && matching <= all - all / 3;
    }
    // At most the antialiased edge of a glyph touches the underline row: few of its
    // pixels are far from the background (the bottom right corner, below any text).
    bool noUnderline(int index) const {
        const QColor background = m_image.pixelColor(m_image.width() - 1, m_image.height() - 1);
        const auto [left, right] = columns(index);
        int inked = 0;
        for (int x = left; x < right; ++x) {
            const QColor pixel = m_image.pixelColor(x, m_underlineY);
            inked += qAbs(pixel.lightness() - background.lightness()) > 96 ? 1 : 0;
        }
        return right > left && inked < (right - left) / 3;
    }
    // The ink of character `index` above the baseline: whether any pixel is clearly red,
    // and whether some pixel is dark and grey (black text, antialiased).
    bool hasRedInk(int index) const {
        return anyInk(index, [](const QColor& c) {
            return c.alpha() > 128 && c.red() > 150 && c.green() < 80 && c.blue() < 80;
        });
    }
    bool hasBlackInk(int index) const {
        return anyInk(index, [](const QColor& c) {
            return c.alpha() > 200 && c.red() < 60 && c.green() < 60 && c.blue() < 60;
        });
    }
    const QImage& image() const { return m_image; }

private:
    template <typename Test> bool anyInk(int index, Test test) const {
        const auto [left, right] = columns(index);
        for (int y = 0; y < int(m_metrics.ascent()); ++y) {
            for (int x = left; x < right; ++x) {
                if (test(m_image.pixelColor(x, y)))
                    return true;
            }
        }
        return false;
    }

    QImage m_image;
    QString m_text;
    QFontMetricsF m_metrics;
    int m_underlineY = 0;
};

QPoint insideText(const QZLink& link) {
    return link.textRect().center();
}

// Records the URLs the links open instead of starting a browser.
class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = QZLink::setUrlOpener([this](const QUrl& url) {
            opened.append(url);
            return true;
        });
        page.resize(400, 80);
    }
    void TearDown() override { QZLink::setUrlOpener(m_previous); }

    QZLink* makeLink(const QRect& geometry) {
        auto* link = new QZLink(&page);
        link->setGeometry(geometry);
        QFont font = link->font();
        font.setPointSize(14);
        link->setFont(font);
        link->awakeFromNib();
        return link;
    }

    QList<QUrl> opened;
    Page page;

private:
    QZLink::UrlOpener m_previous;
};

} // namespace

TEST_F(LinkTest, UrlLinkIsBlueWithSingleUnderlineRedWhilePressedAndOpensItsUrl) {
    QZLink* link = makeLink(QRect(10, 10, 300, 30));
    link->setUrl(QUrl(QStringLiteral("http://127.0.0.1:8480/passport/?register")));
    link->setObjectValue(QStringLiteral("Зарегистрироваться"));
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));

    EXPECT_EQ(link->styleAt(0).underline, QZLink::Underline::Single);
    EXPECT_EQ(link->effectiveColorAt(0), blue);
    EXPECT_TRUE(Rendering(*link).solidUnderline(0, blue));
    EXPECT_TRUE(Rendering(*link).solidUnderline(5, blue));

    QTest::mousePress(link, Qt::LeftButton, {}, insideText(*link));
    EXPECT_TRUE(link->mouseIsDown());
    EXPECT_TRUE(Rendering(*link).solidUnderline(0, red));
    EXPECT_TRUE(Rendering(*link).hasRedInk(0));
    EXPECT_TRUE(saveScreenshot(page, QStringLiteral("link-url-pressed")));
    EXPECT_TRUE(opened.isEmpty());

    QTest::mouseRelease(link, Qt::LeftButton, {}, insideText(*link));
    EXPECT_FALSE(link->mouseIsDown());
    EXPECT_TRUE(Rendering(*link).solidUnderline(0, blue));
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first(), QUrl(QStringLiteral("http://127.0.0.1:8480/passport/?register")));
    EXPECT_TRUE(saveScreenshot(page, QStringLiteral("link-url")));
}

TEST_F(LinkTest, CallbackLinkIsGreyDottedRedWhilePressedAndCallsInsteadOfOpening) {
    QPushButton target;
    int calls = 0;
    QObject::connect(&target, &QPushButton::clicked, [&calls] { ++calls; });
    QZLink* link = makeLink(QRect(10, 10, 200, 30));
    link->setUrl(QUrl(QStringLiteral("http://127.0.0.1:8480/")));
    link->setCallbackObject(&target, QStringLiteral("click"));
    link->setObjectValue(QStringLiteral("Выход"));
    // A colour set on a callback link is overridden by the callback grey.
    link->setColorWithIntR(0, 0, 255);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));

    EXPECT_EQ(link->styleAt(0).underline, QZLink::Underline::Dotted);
    EXPECT_EQ(link->color(), grey);
    const Rendering before(*link);
    EXPECT_TRUE(before.dottedUnderline(0, grey));
    EXPECT_TRUE(before.dottedUnderline(2, grey));
    EXPECT_FALSE(before.solidUnderline(0, grey));
    EXPECT_TRUE(saveScreenshot(page, QStringLiteral("link-callback")));

    QTest::mousePress(link, Qt::LeftButton, {}, insideText(*link));
    EXPECT_TRUE(Rendering(*link).dottedUnderline(0, red));
    EXPECT_EQ(calls, 0);

    QTest::mouseRelease(link, Qt::LeftButton, {}, insideText(*link));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(Rendering(*link).dottedUnderline(0, grey));

    // A function works the same way.
    int functionCalls = 0;
    link->setCallbackObject([&functionCalls] { ++functionCalls; });
    QTest::mouseClick(link, Qt::LeftButton, {}, insideText(*link));
    EXPECT_EQ(functionCalls, 1);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(LinkTest, PressBesideTheTextGoesToTheParentAndLeavesTheLinkAsItWas) {
    QZLink* link = makeLink(QRect(10, 10, 360, 30));
    link->setUrl(QUrl(QStringLiteral("http://127.0.0.1:8480/passport/?remind")));
    link->setObjectValue(QStringLiteral("Забыли пароль?"));
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    const QRect text = link->textRect();
    ASSERT_LT(text.right() + 40, link->width());

    const QPoint beside(text.right() + 30, text.center().y());
    QTest::mousePress(link, Qt::LeftButton, {}, beside);
    EXPECT_EQ(page.presses, 1);
    EXPECT_FALSE(link->mouseIsDown());
    EXPECT_TRUE(Rendering(*link).solidUnderline(0, blue));
    QTest::mouseRelease(link, Qt::LeftButton, {}, beside);
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(saveScreenshot(page, QStringLiteral("link-press-beside")));

    // Inside the text the page sees nothing.
    QTest::mouseClick(link, Qt::LeftButton, {}, insideText(*link));
    EXPECT_EQ(page.presses, 1);
    EXPECT_EQ(opened.size(), 1);
}

TEST_F(LinkTest, PointingHandOverTheTextOnlyAndTheAreaFollowsTheText) {
    QZLink* link = makeLink(QRect(10, 10, 360, 30));
    link->setObjectValue(QStringLiteral("Ок"));
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    const QRect shortArea = link->trackingRect();

    link->setObjectValue(QStringLiteral("Обновления доступны"));
    EXPECT_GT(link->trackingRect().width(), shortArea.width() * 3);
    EXPECT_EQ(link->trackingRect(), link->textRect());

    const QPoint overText(link->trackingRect().right() - 2, link->trackingRect().center().y());
    QTest::mouseMove(link, overText);
    EXPECT_TRUE(link->mouseIsWithin());
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);

    QTest::mouseMove(link, QPoint(link->trackingRect().right() + 20, overText.y()));
    EXPECT_FALSE(link->mouseIsWithin());
    EXPECT_NE(link->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(saveScreenshot(page, QStringLiteral("link-hover")));
}

TEST_F(LinkTest, ScreenNameShowsTheNameAfterYouWithARedFirstLetterAndKeepsTheRightEdge) {
    QZLink* link = makeLink(QRect(100, 10, 280, 30));
    link->setColorWithIntR(0, 0, 0);
    link->setIsScreenNameHackEnabled(true);
    link->setUrl(QUrl(QStringLiteral("http://127.0.0.1:8480/users/anna/")));
    link->setObjectValue(QStringLiteral("Анна"));
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));

    EXPECT_EQ(link->text(), QStringLiteral("Вы: Анна"));
    EXPECT_EQ(link->geometry().right(), QRect(100, 10, 280, 30).right());
    EXPECT_EQ(link->size(), link->sizeHint());
    EXPECT_LT(link->width(), 280);
    EXPECT_EQ(link->textRect().left(), 25);

    const Rendering shown(*link);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(link->styleAt(i).underline, QZLink::Underline::None) << i;
        EXPECT_EQ(link->effectiveColorAt(i), black) << i;
        EXPECT_FALSE(shown.hasRedInk(i)) << i;
    }
    EXPECT_TRUE(shown.noUnderline(0));
    EXPECT_TRUE(shown.noUnderline(1));
    EXPECT_TRUE(shown.hasBlackInk(0));
    EXPECT_TRUE(shown.solidUnderline(4, red));
    EXPECT_TRUE(shown.hasRedInk(4));
    for (int i = 5; i < 8; ++i) {
        EXPECT_TRUE(shown.solidUnderline(i, black)) << i;
        EXPECT_FALSE(shown.hasRedInk(i)) << i;
    }
    EXPECT_TRUE(saveScreenshot(page, QStringLiteral("link-screen-name")));

    // While pressed the whole name turns red; "Вы: " stays as it was.
    const QPoint onName(shown.columns(6).first, link->height() / 2);
    QTest::mousePress(link, Qt::LeftButton, {}, onName);
    const Rendering pressed(*link);
    for (int i = 4; i < 8; ++i)
        EXPECT_TRUE(pressed.solidUnderline(i, red)) << i;
    EXPECT_FALSE(pressed.hasRedInk(1));
    EXPECT_TRUE(saveScreenshot(page, QStringLiteral("link-screen-name-pressed")));

    QTest::mouseRelease(link, Qt::LeftButton, {}, onName);
    EXPECT_EQ(opened.size(), 1);
    const Rendering after(*link);
    EXPECT_TRUE(after.solidUnderline(4, red));
    EXPECT_TRUE(after.solidUnderline(6, black));
    EXPECT_TRUE(after.noUnderline(1));
}

TEST_F(LinkTest, TextTooLongForTheLabelEndsInAnEllipsis) {
    // The top of the ink in the right-most inked column: an ellipsis dot sits on the
    // baseline, a letter reaches at least the x-height.
    auto topOfLastInk = [](QZLink& link) {
        const QImage image = link.grab().toImage();
        const QColor background = image.pixelColor(image.width() - 1, image.height() - 1);
        const int baseline = int(QFontMetricsF(link.font()).ascent());
        for (int x = image.width() - 1; x >= 0; --x) {
            for (int y = 0; y < baseline; ++y) {
                if (qAbs(image.pixelColor(x, y).lightness() - background.lightness()) > 96)
                    return double(y) / baseline;
            }
        }
        return -1.0;
    };
    QZLink* wide = makeLink(QRect(10, 10, 380, 30));
    QZLink* narrow = makeLink(QRect(10, 45, 90, 30));
    for (QZLink* link : {wide, narrow})
        link->setObjectValue(QStringLiteral("Зарегистрироваться"));
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    ASSERT_LT(narrow->width(), narrow->sizeHint().width());

    EXPECT_LT(topOfLastInk(*wide), 0.6);
    EXPECT_GT(topOfLastInk(*narrow), 0.75);
    // The underline runs on under the ellipsis.
    const QImage image = narrow->grab().toImage();
    const QFontMetricsF metrics(narrow->font());
    const int underlineY = int(std::floor(metrics.ascent() + metrics.underlinePos()));
    EXPECT_EQ(image.pixelColor(80, underlineY), blue);
    EXPECT_TRUE(saveScreenshot(page, QStringLiteral("link-ellipsis")));
}
