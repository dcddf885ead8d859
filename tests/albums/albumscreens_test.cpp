// Screenshots of the album sheet in its three forms, the delete confirmation and the album
// error alerts, in Russian and in English (build/screenshots/albums-*.png).
#include "pagedriver.h"

#include <QDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QToolButton>

using namespace PageDriver;

namespace {

class AlbumScreens : public ::testing::TestWithParam<const char*> {
protected:
    QString language() const { return QString::fromLatin1(GetParam()); }
    QString name(const char* what) const {
        return QStringLiteral("albums-%1-%2").arg(QLatin1String(what), language());
    }
    QString text(const char* key) { return bundleText(host, language(), key); }
    QAbstractItemView* table() { return host.widget<QAbstractItemView>("albumsList"); }
    QDialog* sheet() { return host.widget<QDialog>("albumProperties"); }
    void clickSegment(int segment) {
        host.widget<QWidget>("albumControls")->findChildren<QToolButton*>().at(segment)->click();
        HostFixture::processEvents();
    }
    void editRow(int row) {
        const QModelIndex index = table()->model()->index(row, 0);
        table()->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
        table()->setCurrentIndex(index);
        const QPoint at = table()->visualRect(index).center();
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, at);
        HostFixture::processEvents();
    }
    int rowOf(const QString& albumName) {
        for (int row = 0; row < table()->model()->rowCount(); ++row)
            if (table()->model()->index(row, 0).data().toString() == albumName)
                return row;
        return -1;
    }
    void save() {
        host.widget<QPushButton>("closeAddAlbumButton")->click();
        HostFixture::processEvents();
    }
    // Expects the error alert of `titleKey` and `textKey`, saves it and closes it.
    void errorShot(const char* titleKey, const char* textKey, const char* what) {
        QMessageBox* alert = waitForAlert();
        ASSERT_NE(alert, nullptr) << what;
        EXPECT_EQ(alert->text(), text(titleKey)) << what;
        EXPECT_EQ(alert->informativeText(), text(textKey)) << what;
        EXPECT_FALSE(HostFixture::screenshot(*alert, name(what)).isEmpty());
        answer(alert);
    }

    HostFixture host{{.startService = true, .language = QString::fromLatin1(GetParam())}};
};

TEST_P(AlbumScreens, EverySheetAndAlert) {
    ASSERT_TRUE(host.setUp()) << host.lastError().toStdString();
    Account account(*host.service(), QStringLiteral("demo"), QStringLiteral("secret"));
    ASSERT_TRUE(account.signedIn());
    ASSERT_FALSE(account.createAlbum(QStringLiteral("Summer 2024")).isEmpty());
    ASSERT_FALSE(account.createAlbum(QStringLiteral("Family"), QStringLiteral("f")).isEmpty());
    ASSERT_TRUE(host.openExport()) << host.lastError().toStdString();
    signIn(host, QStringLiteral("demo"), QStringLiteral("secret"));
    ASSERT_EQ(currentTab(host), 1);
    EXPECT_FALSE(host.screenshot(name("page")).isEmpty());

    clickSegment(0);
    ASSERT_TRUE(sheet()->isVisible());
    host.widget<QLineEdit>("newAlbumName")->setText(QStringLiteral("Trip"));
    EXPECT_FALSE(HostFixture::screenshot(*sheet(), name("sheet-create")).isEmpty());
    // A create the service refuses.
    ASSERT_TRUE(host.service()->fault(QStringLiteral("/api/users/demo/albums/"),
                                      QStringLiteral("status"), 1, 500));
    save();
    errorShot("OPProcedureErrorTitleAddAlbum", "OPGotErrorCallSupport", "alert-create-error");

    editRow(rowOf(QStringLiteral("Summer 2024")));
    ASSERT_TRUE(sheet()->isVisible());
    EXPECT_FALSE(HostFixture::screenshot(*sheet(), name("sheet-edit")).isEmpty());
    host.widget<QPushButton>("cancelEditAlbumButton")->click();
    HostFixture::processEvents();

    editRow(rowOf(QStringLiteral("Family")));
    ASSERT_TRUE(sheet()->isVisible());
    EXPECT_TRUE(host.widget<QLabel>("newAlbumPasswordRemove")->isVisible());
    EXPECT_FALSE(HostFixture::screenshot(*sheet(), name("sheet-edit-protected")).isEmpty());
    // A save whose fetch does not get through.
    ASSERT_TRUE(host.service()->fault(QStringLiteral("/api/users/demo/album/"),
                                      QStringLiteral("status"), 1, 500));
    save();
    errorShot("OPProcedureErrorTitleEditAlbum", "OVErrorConnection", "alert-edit-error");

    clickSegment(1);
    QMessageBox* confirmation = waitForAlert();
    ASSERT_NE(confirmation, nullptr);
    EXPECT_FALSE(
        HostFixture::screenshot(*confirmation, name("alert-delete-confirmation")).isEmpty());
    ASSERT_TRUE(host.service()->fault(QStringLiteral("/api/users/demo/album/"),
                                      QStringLiteral("status"), 1, 500));
    answer(confirmation, 0);
    errorShot("OPProcedureErrorTitleDeleteAlbum", "OPGotErrorCallSupport", "alert-delete-error");

    ASSERT_TRUE(host.service()->fault(QStringLiteral("/api/"), QStringLiteral("status"), 5, 403));
    clickSegment(2);
    errorShot("OPProcedureErrorTitleGetAlbums", "OVErrorAccessForbidden", "alert-reload-error");
}

INSTANTIATE_TEST_SUITE_P(Languages, AlbumScreens, ::testing::Values("ru", "en"));

} // namespace
