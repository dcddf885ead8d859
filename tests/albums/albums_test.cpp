// Album management on the signed-in page of the plug-in in the stand-in host, against
// pikto-service: the segment commands, the album sheet, delete, the reload and the album
// page in the browser.
#include "pagedriver.h"

#include "log.h"

#include <QDesktopServices>
#include <QDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMutex>
#include <QToolButton>
#include <QUrl>

using namespace PageDriver;

namespace {

// Receives the URLs the page opens "in the browser".
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls << url; }
};

class AlbumsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.setUp()) << host.lastError().toStdString();
        account = std::make_unique<Account>(*host.service(), QStringLiteral("demo"),
                                            QStringLiteral("secret"));
        ASSERT_TRUE(account->signedIn());
    }

    // Opens the Export dialog and signs in; the album table shows the account's albums.
    void signInToPage() {
        ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
        signIn(host, QStringLiteral("demo"), QStringLiteral("secret"));
        ASSERT_EQ(currentTab(host), 1);
        host.clearTicks();
    }

    QString ru(const char* key) { return bundleText(host, QStringLiteral("ru"), key); }
    ServiceProcess& service() { return *host.service(); }
    QAbstractItemView* table() { return host.widget<QAbstractItemView>("albumsList"); }
    QDialog* sheet() { return host.widget<QDialog>("albumProperties"); }
    QLineEdit* field(const char* name) { return host.widget<QLineEdit>(name); }

    QStringList rowNames() {
        QStringList names;
        for (int row = 0; row < table()->model()->rowCount(); ++row)
            names << table()->model()->index(row, 0).data().toString();
        return names;
    }
    int rowOf(const QString& name) { return int(rowNames().indexOf(name)); }
    QStringList selectedNames() {
        QStringList names;
        for (const QModelIndex& index : table()->selectionModel()->selectedRows())
            names << index.data().toString();
        return names;
    }
    void selectRow(int row) {
        table()->selectionModel()->select(table()->model()->index(row, 0),
                                          QItemSelectionModel::ClearAndSelect |
                                              QItemSelectionModel::Rows);
        table()->setCurrentIndex(table()->model()->index(row, 0));
    }
    void doubleClickRow(int row) {
        const QRect cell = table()->visualRect(table()->model()->index(row, 0));
        // A double click is a click followed by a second press that the system reports
        // as a double click.
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, cell.center());
        HostFixture::processEvents();
    }
    // Clicks segment 0 (create), 1 (delete) or 2 (reload) of the album commands.
    void clickSegment(int segment) {
        const auto buttons = host.widget<QWidget>("albumControls")->findChildren<QToolButton*>();
        ASSERT_GT(buttons.size(), segment);
        buttons.at(segment)->click();
        HostFixture::processEvents();
    }
    void pressSave() {
        host.widget<QPushButton>("closeAddAlbumButton")->click();
        HostFixture::processEvents();
    }
    QStringList albumRequests(const QString& method) {
        return requestsContaining(service(), method + QStringLiteral(" /api/"));
    }

    HostFixture host{{.startService = true}};
    std::unique_ptr<Account> account;
};

TEST_F(AlbumsTest, CreateWithANameOfSpacesClosesTheSheetAndSendsNothing) {
    signInToPage();
    clickSegment(0);
    ASSERT_TRUE(sheet()->isVisible());
    field("newAlbumName")->setText(QStringLiteral("   "));
    pressSave();

    EXPECT_FALSE(sheet()->isVisible());
    EXPECT_TRUE(albumRequests(QStringLiteral("POST")).isEmpty());
    EXPECT_EQ(visibleAlert(), nullptr);
}

TEST_F(AlbumsTest, CreateSelectsTheNewAlbumAfterTheReload) {
    ASSERT_FALSE(account->createAlbum(QStringLiteral("Альпы")).isEmpty());
    ASSERT_FALSE(account->createAlbum(QStringLiteral("Байкал")).isEmpty());
    signInToPage();
    selectRow(0);
    auto* createLink = host.widget<QLabel>("userCreateAlbum");
    clickLink(createLink, QPoint(4, createLink->height() / 2));
    ASSERT_TRUE(sheet()->isVisible());
    EXPECT_EQ(host.widget<QLabel>("albumHeaderLabelText")->text(),
              QStringLiteral("Создание нового альбома"));
    EXPECT_EQ(host.widget<QPushButton>("closeAddAlbumButton")->text(), QStringLiteral("Создать"));
    EXPECT_TRUE(field("newAlbumPassword")->isVisible());
    EXPECT_FALSE(host.widget<QLabel>("newAlbumPasswordRemove")->isVisible());
    field("newAlbumName")->setText(QStringLiteral("Камчатка"));
    field("newAlbumDescription")->setText(QStringLiteral("Вулканы"));
    field("newAlbumPassword")->setText(QStringLiteral("p"));
    const qsizetype createsBefore = albumRequests(QStringLiteral("POST")).size();
    pressSave();

    EXPECT_EQ(rowNames().size(), 3);
    EXPECT_EQ(selectedNames(), QStringList{QStringLiteral("Камчатка")});
    EXPECT_EQ(albumRequests(QStringLiteral("POST")).size(), createsBefore + 1);
    int error = 0;
    const auto albums =
        account->client().getUserAlbumsWithCredentials(account->credentials(), &error);
    ASSERT_TRUE(albums.has_value());
    bool found = false;
    for (const OvPiktoAlbum& album : *albums)
        if (album.name() == QStringLiteral("Камчатка")) {
            found = true;
            EXPECT_EQ(album.description(), QStringLiteral("Вулканы"));
            EXPECT_TRUE(album.isLocked());
        }
    EXPECT_TRUE(found);
}

TEST_F(AlbumsTest, DoubleClickOnThePlaceholderOpensNothing) {
    signInToPage();
    ASSERT_EQ(rowNames().size(), 1); // the placeholder of an account without albums
    selectRow(0);
    doubleClickRow(0);
    EXPECT_FALSE(sheet()->isVisible());
}

TEST_F(AlbumsTest, EditingAProtectedAlbumOffersRemovePasswordAndSavingKeepsThePassword) {
    const QString id = account->createAlbum(QStringLiteral("Семейный"), QStringLiteral("family"));
    ASSERT_FALSE(id.isEmpty());
    signInToPage();
    selectRow(rowOf(QStringLiteral("Семейный")));
    doubleClickRow(rowOf(QStringLiteral("Семейный")));

    ASSERT_TRUE(sheet()->isVisible());
    EXPECT_EQ(host.widget<QLabel>("albumHeaderLabelText")->text(),
              QStringLiteral("Свойства альбома"));
    EXPECT_EQ(host.widget<QPushButton>("closeAddAlbumButton")->text(), QStringLiteral("Сохранить"));
    EXPECT_EQ(host.widget<QLabel>("newAlbumPasswordRemove")->text(),
              QStringLiteral("Снять пароль"));
    EXPECT_TRUE(host.widget<QLabel>("newAlbumPasswordRemove")->isVisible());
    EXPECT_FALSE(field("newAlbumPassword")->isVisible());
    EXPECT_EQ(field("newAlbumName")->text(), QStringLiteral("Семейный"));
    field("newAlbumName")->setText(QStringLiteral("Семья"));
    pressSave();

    const auto album = account->album(id);
    ASSERT_TRUE(album.has_value());
    EXPECT_EQ(album->name(), QStringLiteral("Семья"));
    EXPECT_TRUE(album->isLocked());
    EXPECT_EQ(rowNames(), QStringList{QStringLiteral("Семья")});
}

TEST_F(AlbumsTest, TheRemoveLinkRemovesThePasswordAtOnce) {
    const QString id = account->createAlbum(QStringLiteral("Закрытый"), QStringLiteral("x"));
    signInToPage();
    selectRow(0);
    doubleClickRow(0);
    ASSERT_TRUE(sheet()->isVisible());
    auto* removeLink = host.widget<QLabel>("newAlbumPasswordRemove");
    clickLink(removeLink, QPoint(4, removeLink->height() / 2));

    // Done while the sheet is still open; the sheet now offers a password field.
    EXPECT_TRUE(sheet()->isVisible());
    ASSERT_TRUE(account->album(id).has_value());
    EXPECT_FALSE(account->album(id)->isLocked());
    EXPECT_TRUE(field("newAlbumPassword")->isVisible());
    EXPECT_FALSE(removeLink->isVisible());

    // Saving afterwards sends the (empty) field: the album stays open.
    pressSave();
    EXPECT_FALSE(account->album(id)->isLocked());
}

TEST_F(AlbumsTest, EscapeDiscardsTheSheetAndEnterAppliesItWhateverTheSheetBefore) {
    const QString id = account->createAlbum(QStringLiteral("Старое"));
    signInToPage();
    // A confirmed sheet first, so that Escape cannot lean on an earlier "apply".
    clickSegment(0);
    field("newAlbumName")->setText(QStringLiteral("Новое"));
    pressSave();
    ASSERT_EQ(rowNames().size(), 2);

    selectRow(rowOf(QStringLiteral("Старое")));
    doubleClickRow(rowOf(QStringLiteral("Старое")));
    ASSERT_TRUE(sheet()->isVisible());
    field("newAlbumName")->setText(QStringLiteral("Переименовано"));
    const qsizetype updatesBefore = albumRequests(QStringLiteral("PUT")).size();
    QTest::keyClick(field("newAlbumName"), Qt::Key_Escape);
    HostFixture::processEvents();
    EXPECT_FALSE(sheet()->isVisible());
    EXPECT_EQ(albumRequests(QStringLiteral("PUT")).size(), updatesBefore);
    EXPECT_EQ(account->album(id)->name(), QStringLiteral("Старое"));

    selectRow(rowOf(QStringLiteral("Старое")));
    doubleClickRow(rowOf(QStringLiteral("Старое")));
    ASSERT_TRUE(sheet()->isVisible());
    field("newAlbumName")->setText(QStringLiteral("Переименовано"));
    QTest::keyClick(field("newAlbumName"), Qt::Key_Enter);
    HostFixture::processEvents();
    EXPECT_FALSE(sheet()->isVisible());
    EXPECT_EQ(account->album(id)->name(), QStringLiteral("Переименовано"));
}

TEST_F(AlbumsTest, DeleteAsksForTheLastSelectedAlbumAndDeletesIt) {
    account->createAlbum(QStringLiteral("Первый"));
    const QString id = account->createAlbum(QStringLiteral("Второй"));
    signInToPage();
    selectRow(rowOf(QStringLiteral("Второй")));
    clickSegment(1);

    QMessageBox* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), QStringLiteral("Внимание!"));
    EXPECT_EQ(
        alert->informativeText(),
        ru("OVAlbumDeleteConfirmation").replace(QStringLiteral("%@"), QStringLiteral("Второй")));
    answer(alert, 0);

    EXPECT_EQ(rowNames(), QStringList{QStringLiteral("Первый")});
    EXPECT_FALSE(account->album(id).has_value());
    EXPECT_TRUE(host.ticks().isEmpty());
}

TEST_F(AlbumsTest, DeleteCancelledSendsNothing) {
    account->createAlbum(QStringLiteral("Остаётся"));
    signInToPage();
    selectRow(0);
    clickSegment(1);
    answer(waitForAlert(), 1);
    EXPECT_TRUE(albumRequests(QStringLiteral("DELETE")).isEmpty());
    EXPECT_EQ(rowNames(), QStringList{QStringLiteral("Остаётся")});
}

TEST_F(AlbumsTest, DeletingThePlaceholderSendsNothingAndLogsItsIdentifier) {
    signInToPage();
    ASSERT_EQ(rowNames().size(), 1); // the placeholder of an account without albums
    selectRow(0);
    QStringList lines;
    QMutex linesLock;
    const Log::Sink previous = Log::setSink([&](const QString& line) {
        QMutexLocker lock(&linesLock);
        lines << line;
    });
    clickSegment(1);
    answer(waitForAlert(), 0);
    Log::setSink(previous);

    EXPECT_TRUE(albumRequests(QStringLiteral("DELETE")).isEmpty());
    EXPECT_TRUE(lines.contains(QStringLiteral("deleted album id: -1")));
    // The list was asked for again.
    EXPECT_TRUE(lines.contains(QStringLiteral("reloadAlbumsListShowingErrors: Entered")));
    EXPECT_EQ(visibleAlert(), nullptr);
}

TEST_F(AlbumsTest, DeleteAnswered404ThenFetched404ReloadsWithoutAnAlert) {
    const QString id = account->createAlbum(QStringLiteral("Исчезнет"));
    account->createAlbum(QStringLiteral("Останется"));
    signInToPage();
    selectRow(rowOf(QStringLiteral("Исчезнет")));
    clickSegment(1);
    QMessageBox* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    // Gone behind the page's back: the delete answers 404, and so does the check.
    int error = 0;
    account->client().deleteUserAlbumByID(id, account->credentials(), &error);
    ASSERT_EQ(error, 0);
    const auto requestsFor = [&] {
        // The client's album paths have a doubled slash after /api.
        return requestsContaining(service(), QStringLiteral("/users/demo/album/") + id + '/');
    };
    const qsizetype before = requestsFor().size();
    answer(alert, 0);

    EXPECT_EQ(host.ticks(), QList<unsigned>{50});
    // The delete, then the check.
    const QStringList sent = requestsFor().mid(before);
    ASSERT_EQ(sent.size(), 2);
    EXPECT_TRUE(sent[0].startsWith(QStringLiteral("DELETE "))) << sent[0].toStdString();
    EXPECT_TRUE(sent[1].startsWith(QStringLiteral("GET "))) << sent[1].toStdString();
    EXPECT_EQ(visibleAlert(), nullptr);
    EXPECT_EQ(rowNames(), QStringList{QStringLiteral("Останется")});
}

TEST_F(AlbumsTest, DeleteThatFailsWhileTheAlbumStaysReportsTheCheck) {
    const QString id = account->createAlbum(QStringLiteral("Упрямый"));
    signInToPage();
    selectRow(0);
    ASSERT_TRUE(service().fault(QStringLiteral("/api/users/demo/album/") + id,
                                QStringLiteral("status"), 1, 500));
    clickSegment(1);
    answer(waitForAlert(), 0);

    EXPECT_EQ(host.ticks(), QList<unsigned>{50});
    QMessageBox* error = waitForAlert();
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->text(), ru("OPProcedureErrorTitleDeleteAlbum"));
    // The album is still there: the check answers 0, which has no message of its own.
    EXPECT_EQ(error->informativeText(), ru("OPGotErrorCallSupport"));
    answer(error);
    EXPECT_EQ(rowNames(), QStringList{QStringLiteral("Упрямый")});
}

TEST_F(AlbumsTest, FiveFailedReloadsTake75TicksThenAlertWithTheLastCode) {
    account->createAlbum(QStringLiteral("Был"));
    signInToPage();
    ASSERT_TRUE(service().fault(QStringLiteral("/api/"), QStringLiteral("status"), 5, 403));
    clickSegment(2);

    EXPECT_EQ(host.ticks(), (QList<unsigned>{15, 15, 15, 15, 15}));
    QMessageBox* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), ru("OPProcedureErrorTitleGetAlbums"));
    EXPECT_EQ(alert->informativeText(), ru("OVErrorAccessForbidden"));
    answer(alert);
    // The table keeps the list it had.
    EXPECT_EQ(rowNames(), QStringList{QStringLiteral("Был")});
}

TEST_F(AlbumsTest, ReloadKeepsTheSelectedAlbum) {
    account->createAlbum(QStringLiteral("Один"));
    const QString id = account->createAlbum(QStringLiteral("Два"));
    signInToPage();
    selectRow(rowOf(QStringLiteral("Два")));
    // Another album appears before it on the service.
    account->createAlbum(QStringLiteral("Ноль"));
    clickSegment(2);

    EXPECT_EQ(rowNames().size(), 3);
    EXPECT_EQ(selectedNames(), QStringList{QStringLiteral("Два")});
    EXPECT_EQ(visibleAlert(), nullptr);
}

TEST_F(AlbumsTest, ControlDownOpensTheSelectedAlbumsPageInTheBrowser) {
    const QString id = account->createAlbum(QStringLiteral("Открыть"));
    signInToPage();
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "open");
    selectRow(0);
    QTest::keyClick(table(), Qt::Key_Down, Qt::ControlModifier);
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));

    ASSERT_EQ(recorder.urls.size(), 1);
    EXPECT_EQ(recorder.urls.first().toString(),
              service().origin() + QStringLiteral("/users/demo/album/") + id + QLatin1Char('/'));
}

} // namespace

#include "albums_test.moc"
