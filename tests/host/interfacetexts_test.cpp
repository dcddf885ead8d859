// The page and its sheets in English: every static text of the interface files comes
// from the bundle's English strings, and both languages name the same texts.
#include "pagedriver.h"

#include <QDialog>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTextDocument>
#include <QToolButton>

using namespace PageDriver;

namespace {

// Texts the plug-in sets itself, the same in every language; %d a number, %@ any text.
const QStringList systemTexts = {
    QStringLiteral("Выход"),
    QStringLiteral("Обновления"),
    QStringLiteral("создайте новый"),
    QStringLiteral("Версия: %@"),
    QStringLiteral("Вы: %@"),
    QStringLiteral("Вы собираетесь загрузить %d фото."),
    QStringLiteral("Зарегистрироваться"),
    QStringLiteral("Забыли пароль?"),
    QStringLiteral("Снять пароль"),
    QStringLiteral("Создание нового альбома"),
    QStringLiteral("Свойства альбома"),
    QStringLiteral("Создать"),
    QStringLiteral("Сохранить"),
};

bool isSystemText(const QString& text) {
    static const QRegularExpression placeholder(QStringLiteral("%[d@]"));
    for (const QString& allowed : systemTexts) {
        QString pattern;
        qsizetype from = 0;
        for (auto it = placeholder.globalMatch(allowed); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            pattern += QRegularExpression::escape(allowed.mid(from, match.capturedStart() - from));
            pattern += match.captured() == QLatin1String("%d") ? QStringLiteral("\\d+")
                                                               : QStringLiteral(".+");
            from = match.capturedEnd();
        }
        pattern += QRegularExpression::escape(allowed.mid(from));
        if (QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(text).hasMatch())
            return true;
    }
    return false;
}

bool hasCyrillic(const QString& text) {
    static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    return cyrillic.match(text).hasMatch();
}

QString shownText(const QLabel& label) {
    if (label.textFormat() == Qt::PlainText)
        return label.text();
    QTextDocument document;
    document.setHtml(label.text());
    return document.toPlainText().trimmed();
}

// "objectName: text" for every visible label, button, group box and window title under
// `root` that is in Russian but is not one of the plug-in's own texts.
std::string russianTexts(QWidget* root) {
    QStringList found;
    auto check = [&found](const QWidget& widget, const QString& text) {
        if (widget.isVisible() && hasCyrillic(text) && !isSystemText(text))
            found << widget.objectName() + QStringLiteral(": ") + text;
    };
    check(*root, root->windowTitle());
    for (const QLabel* label : root->findChildren<QLabel*>())
        check(*label, shownText(*label));
    for (const QAbstractButton* button : root->findChildren<QAbstractButton*>())
        check(*button, button->text());
    for (const QGroupBox* group : root->findChildren<QGroupBox*>())
        check(*group, group->title());
    return found.join(QLatin1Char('\n')).toStdString();
}

QString bundleStrings(const char* language) {
    return QStringLiteral(OVPIKTO_PLUGIN_BUNDLE_SOURCE
                          "/Contents/Resources/%1.lproj/InfoPlist.strings")
        .arg(QLatin1String(language));
}

QVariantMap interfaceStrings(const char* language) {
    QVariantMap strings =
        PropertyList::readDictionary(bundleStrings(language)).value_or(QVariantMap());
    for (auto it = strings.begin(); it != strings.end();)
        it = it.key().startsWith(QLatin1String("OPUI.")) ? std::next(it) : strings.erase(it);
    return strings;
}

// The default texts of the interface files: object name → text, title or window title.
QMap<QString, QString> interfaceFileTexts() {
    QMap<QString, QString> texts;
    const QDir dir(QStringLiteral(OVPIKTO_EXPORTER_UI_DIR));
    for (const QString& file : dir.entryList({QStringLiteral("*.ui")})) {
        QFile ui(dir.filePath(file));
        QDomDocument document;
        if (!ui.open(QIODevice::ReadOnly) || !document.setContent(&ui))
            continue;
        const QDomNodeList widgets = document.elementsByTagName(QStringLiteral("widget"));
        for (int i = 0; i < widgets.size(); ++i) {
            const QDomElement widget = widgets.at(i).toElement();
            for (QDomElement property = widget.firstChildElement(QStringLiteral("property"));
                 !property.isNull();
                 property = property.nextSiblingElement(QStringLiteral("property"))) {
                const QString name = property.attribute(QStringLiteral("name"));
                if (name == QLatin1String("text") || name == QLatin1String("title") ||
                    name == QLatin1String("windowTitle"))
                    texts.insert(widget.attribute(QStringLiteral("name")),
                                 property.firstChildElement(QStringLiteral("string")).text());
            }
        }
    }
    return texts;
}

TEST(InterfaceTexts, PageAndAlbumSheetShowNoRussianInEnglish) {
    HostFixture host({.photoCount = 2, .startService = true, .language = QStringLiteral("en")});
    ASSERT_TRUE(host.setUp()) << host.lastError().toStdString();
    Account account(*host.service(), QStringLiteral("demo"), QStringLiteral("secret"));
    ASSERT_TRUE(account.signedIn());
    ASSERT_FALSE(account.createAlbum(QStringLiteral("Summer 2024")).isEmpty());
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
    HostFixture::processEvents(20);

    ASSERT_EQ(currentTab(host), 0);
    EXPECT_EQ(host.widget<QPushButton>("signInButton")->text(), QStringLiteral("Sign In"));
    EXPECT_EQ(russianTexts(host.page()), "");
    EXPECT_FALSE(host.screenshot(QStringLiteral("host-page-en-signed-out")).isEmpty());

    // Without remember-me the sign-in needs no keyring.
    auto* rememberMe = host.widget<QAbstractButton>("rememberMeButton");
    if (rememberMe->isChecked())
        rememberMe->click();
    signIn(host, QStringLiteral("demo"), QStringLiteral("secret"));
    ASSERT_TRUE(HostFixture::waitFor([&host] { return currentTab(host) == 1; }));
    HostFixture::processEvents(20);
    EXPECT_EQ(host.widget<QRadioButton>("accessPublicRadio")->text(), QStringLiteral("Everyone"));
    EXPECT_EQ(russianTexts(host.page()), "");
    EXPECT_FALSE(host.screenshot(QStringLiteral("host-page-en-signed-in")).isEmpty());

    host.widget<QWidget>("albumControls")->findChildren<QToolButton*>().at(0)->click();
    HostFixture::processEvents();
    auto* sheet = host.widget<QDialog>("albumProperties");
    ASSERT_TRUE(sheet && sheet->isVisible());
    EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Album"));
    EXPECT_EQ(host.widget<QLabel>("newAlbumNameLabel")->text(), QStringLiteral("Name:"));
    EXPECT_EQ(russianTexts(sheet), "");
    EXPECT_FALSE(
        HostFixture::screenshot(*sheet, QStringLiteral("host-page-en-album-sheet")).isEmpty());
    host.widget<QPushButton>("cancelEditAlbumButton")->click();
    HostFixture::processEvents();
}

TEST(InterfaceTexts, BothLanguagesNameTheSameTextsAndRussianMatchesTheInterfaceFiles) {
    const QVariantMap russian = interfaceStrings("ru");
    const QVariantMap english = interfaceStrings("en");
    ASSERT_FALSE(russian.isEmpty()) << bundleStrings("ru").toStdString();
    EXPECT_EQ(russian.keys(), english.keys());

    const QMap<QString, QString> defaults = interfaceFileTexts();
    ASSERT_FALSE(defaults.isEmpty());
    for (auto it = russian.cbegin(); it != russian.cend(); ++it) {
        const QString name = it.key().mid(int(qstrlen("OPUI.")));
        ASSERT_TRUE(defaults.contains(name)) << "no widget " << name.toStdString();
        EXPECT_EQ(it.value().toString(), defaults.value(name)) << name.toStdString();
        EXPECT_FALSE(hasCyrillic(english.value(it.key()).toString())) << name.toStdString();
        EXPECT_FALSE(english.value(it.key()).toString().isEmpty()) << name.toStdString();
    }
    // The plug-in's own texts are never replaced.
    for (const char* own : {"signOutLabel", "updateSoftwareLink", "userCreateAlbum", "registerText",
                            "forgottenPasswordText", "newAlbumPasswordRemove"})
        EXPECT_FALSE(russian.contains(QStringLiteral("OPUI.") + QLatin1String(own))) << own;
}

} // namespace
