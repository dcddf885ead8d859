#include "qzformatter.h"
#include "qzsecuretextfield.h"
#include "qztextfield.h"
#include "screenshot.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

// The sign-in form: login and password sharing one formatter with the maximum 20.
struct SignInForm {
    QWidget window;
    QZTextField* login = new QZTextField(&window);
    QZSecureTextField* password = new QZSecureTextField(&window);
    QZFormatter formatter{20};

    SignInForm() {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(login);
        layout->addWidget(password);
        login->setValidator(&formatter);
        password->setValidator(&formatter);
        window.resize(240, 80);
        window.show();
    }
};

// Types `text` key by key (QTest::keyClicks knows only ASCII).
void type(QWidget* field, const QString& text) {
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key(c.toUpper().unicode()), QString(c),
                            Qt::NoModifier);
}

void paste(QWidget* field, const QString& text) {
    QApplication::clipboard()->setText(text);
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
}

} // namespace

TEST(TextFields, TypingTheTwentyFirstCharacterIsRefused) {
    SignInForm form;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form.window));
    form.login->setFocus();
    QTest::keyClicks(form.login, QStringLiteral("abcdefghijklmnopqrst"));
    ASSERT_EQ(form.login->text().size(), 20);
    QTest::keyClick(form.login, Qt::Key_U);
    EXPECT_EQ(form.login->text(), QStringLiteral("abcdefghijklmnopqrst"));

    // The same formatter guards the password field.
    form.password->setFocus();
    type(form.password, QStringLiteral("пароль-из-21-символа"));
    QTest::keyClick(form.password, Qt::Key_X);
    EXPECT_EQ(form.password->text(), QStringLiteral("пароль-из-21-символа"));
    EXPECT_EQ(form.password->displayText().size(), 20); // masked
    EXPECT_TRUE(saveScreenshot(form.window, QStringLiteral("textfields-full")));
}

TEST(TextFields, PasteLongerThanTheMaximumIsRefusedWhole) {
    SignInForm form;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form.window));
    form.password->setFocus();
    paste(form.password, QString(25, QLatin1Char('p')));
    EXPECT_TRUE(form.password->text().isEmpty());

    // A paste that fits goes in whole.
    paste(form.password, QString(20, QLatin1Char('p')));
    EXPECT_EQ(form.password->text(), QString(20, QLatin1Char('p')));
    EXPECT_TRUE(saveScreenshot(form.window, QStringLiteral("textfields-paste")));
}

TEST(TextFields, LengthCountsUtf16Units) {
    SignInForm form;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form.window));
    form.login->setFocus();
    const QString smile = QStringLiteral("\U0001F600"); // two UTF-16 units
    form.login->setText(QString(19, QLatin1Char('a')));
    form.login->end(false);
    paste(form.login, smile);
    EXPECT_EQ(form.login->text().size(), 19);

    form.login->setText(QString(18, QLatin1Char('a')));
    form.login->end(false);
    paste(form.login, smile);
    EXPECT_EQ(form.login->text(), QString(18, QLatin1Char('a')) + smile);
    EXPECT_TRUE(saveScreenshot(form.window, QStringLiteral("textfields-utf16")));
}

TEST(TextFields, TabbingInPutsTheCaretAfterTheLastCharacter) {
    QWidget window;
    auto* first = new QZTextField(&window);
    auto* field = new QZTextField(&window);
    auto* plain = new QLineEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(first);
    layout->addWidget(field);
    layout->addWidget(plain);
    field->setText(QStringLiteral("abc"));
    plain->setText(QStringLiteral("abc"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    first->setFocus();
    QTest::keyClick(first, Qt::Key_Tab);
    ASSERT_TRUE(field->hasFocus());
    EXPECT_EQ(field->cursorPosition(), 3);
    EXPECT_FALSE(field->hasSelectedText());
    EXPECT_TRUE(saveScreenshot(window, QStringLiteral("textfields-tab")));

    // A plain line edit selects everything on tab-in; ours must not.
    QTest::keyClick(field, Qt::Key_Tab);
    ASSERT_TRUE(plain->hasFocus());
    EXPECT_EQ(plain->selectedText(), QStringLiteral("abc"));

    // Focusing by call places the caret the same way, also in the masked field.
    QZSecureTextField secure(&window);
    layout->addWidget(&secure);
    secure.show();
    secure.setText(QStringLiteral("secret"));
    secure.setCursorPosition(0);
    secure.setFocus();
    EXPECT_TRUE(secure.hasFocus());
    EXPECT_EQ(secure.cursorPosition(), 6);
    EXPECT_FALSE(secure.hasSelectedText());
}

TEST(Formatter, GetObjectValueNeedsAPlace) {
    const QZFormatter formatter(20);
    QString error = QStringLiteral("untouched");
    EXPECT_FALSE(formatter.getObjectValue(nullptr, QStringLiteral("login"), &error));
    EXPECT_EQ(error, QStringLiteral("untouched"));

    QString place;
    EXPECT_TRUE(formatter.getObjectValue(&place, QStringLiteral("login"), &error));
    EXPECT_EQ(place, QStringLiteral("login"));
    EXPECT_EQ(error, QStringLiteral("untouched"));
    EXPECT_EQ(formatter.stringForObjectValue(QStringLiteral("x y")), QStringLiteral("x y"));
}

TEST(Formatter, PartialStringLimits) {
    struct Case {
        int maxLength;
        qsizetype length;
        bool valid;
    };
    const Case cases[] = {
        {20, 0, true},  {20, 20, true},  {20, 21, false}, {1, 2, false},
        {0, 500, true}, {-1, 500, true}, {-7, 1, true},
    };
    for (const Case& c : cases) {
        const QZFormatter formatter(c.maxLength);
        QString newString = QStringLiteral("unchanged");
        QString error = QStringLiteral("unchanged");
        EXPECT_EQ(
            formatter.isPartialStringValid(QString(c.length, QLatin1Char('x')), &newString, &error),
            c.valid)
            << "max " << c.maxLength << " length " << c.length;
        EXPECT_EQ(newString, QStringLiteral("unchanged"));
        EXPECT_EQ(error, QStringLiteral("unchanged"));
    }
    EXPECT_TRUE(
        QZFormatter().isPartialStringValid(QString(10000, QLatin1Char('x')), nullptr, nullptr));
}
