// The export through the real plug-in in the real host, against pikto-service: the list
// of photos, the upload sheet's pages, retries, the album check, cancel and the keys.
#include "exportscenario.h"

#include <QAbstractEventDispatcher>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTextEdit>

namespace {

constexpr qint64 kib = 1024;
constexpr qint64 mib = 1024 * 1024;

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class Export : public ExportScenario {
protected:
    // Records the photo line each time the event loop waits (a photo on its way always
    // waits for the network, while a fast service may answer before the bar moves), and the
    // data line at every step of the progress bar.
    void recordProgress() {
        QObject::connect(QAbstractEventDispatcher::instance(),
                         &QAbstractEventDispatcher::aboutToBlock, progressIndicator(), [this] {
                             const QString line = labelText("uploadProgressLabel");
                             if (progressLines.isEmpty() || progressLines.last() != line)
                                 progressLines << line;
                         });
        QObject::connect(progressIndicator(), &QProgressBar::valueChanged,
                         [this](int) { dataLines << labelText("uploadProgressDataLabel"); });
    }

    QStringList progressLines;
    QStringList dataLines;
};

TEST_F(Export, TwentyMibPhotoIsListedAndSkippedTheOtherTwoArriveByteForByte) {
    const QString first = addPhoto(QStringLiteral("first.jpg"), 300 * kib, 1);
    const QString big = addSparseFile(QStringLiteral("big.jpg"), 20 * mib);
    const QString last = addPhoto(QStringLiteral("last.jpg"), 200 * kib, 2);
    ASSERT_TRUE(openSignedIn({first, big, last})) << lastError().toStdString();

    pressExport();
    ASSERT_TRUE(skippedSheet()->isVisible());
    EXPECT_FALSE(uploadSheet()->isVisible());
    EXPECT_EQ(widget<QTextEdit>("skippedImagesList")->toPlainText(),
              QStringLiteral("\u25B6 %1\n").arg(big));
    EXPECT_FALSE(
        HostFixture::screenshot(*skippedSheet(), QStringLiteral("export-skipped-sheet")).isEmpty());
    EXPECT_EQ(uploadRequests(), 0);

    button("closeSkippedImagesButton")->click();
    EXPECT_FALSE(skippedSheet()->isVisible());
    ASSERT_TRUE(waitForPage(resultsPage));
    EXPECT_EQ(labelText("uploadResultLabel"), bundleText("OVAllImagesSuccessfullyUploaded"));
    QLabel* link = widget<QLabel>("linkToUploadedAlbum");
    EXPECT_TRUE(link->isVisible());
    EXPECT_EQ(link->text(), QStringLiteral("Посмотреть альбом на Оврана.Пикто."));
    EXPECT_EQ(albumLinkAddress(), albumPage());
    EXPECT_FALSE(host->screenshot(QStringLiteral("export-results-page")).isEmpty());
    EXPECT_FALSE(
        HostFixture::screenshot(*uploadSheet(), QStringLiteral("export-results-sheet")).isEmpty());

    const QMap<QString, QByteArray> stored = albumPhotos();
    EXPECT_EQ(stored.keys(),
              QStringList({QStringLiteral("first.jpg"), QStringLiteral("last.jpg")}));
    EXPECT_TRUE(stored.value(QStringLiteral("first.jpg")) == contents(first));
    EXPECT_TRUE(stored.value(QStringLiteral("last.jpg")) == contents(last));
    // A healthy export never pauses between album checks.
    EXPECT_TRUE(host->ticks().isEmpty()) << host->ticks().size();

    button("closeUploadWindowButton")->click();
    EXPECT_FALSE(uploadSheet()->isVisible());
    EXPECT_EQ(uploadTab()->currentIndex(), progressPage);
}

TEST_F(Export, OnlyTooLargePhotosShowTheListAndSendNothing) {
    const QString twenty = addSparseFile(QStringLiteral("twenty.jpg"), 20 * mib);
    const QString huge = addSparseFile(QStringLiteral("huge.jpg"), 3 * 1024 * mib);
    ASSERT_TRUE(openSignedIn({twenty, huge})) << lastError().toStdString();

    pressExport();
    ASSERT_TRUE(skippedSheet()->isVisible());
    // In the library's order.
    EXPECT_EQ(widget<QTextEdit>("skippedImagesList")->toPlainText(),
              QStringLiteral("\u25B6 %1\n\u25B6 %2\n").arg(huge, twenty));
    button("closeSkippedImagesButton")->click();
    HostFixture::processEvents(100);
    EXPECT_FALSE(skippedSheet()->isVisible());
    EXPECT_FALSE(uploadSheet()->isVisible());
    EXPECT_EQ(uploadRequests(), 0);
}

TEST_F(Export, OnePhotoShowsTheSingleProgressLine) {
    const QString photo = addPhoto(QStringLiteral("one.jpg"), 2 * mib);
    ASSERT_TRUE(openSignedIn({photo})) << lastError().toStdString();

    pressExport();
    ASSERT_TRUE(uploadSheet()->isVisible());
    EXPECT_EQ(uploadTab()->currentIndex(), progressPage);
    EXPECT_EQ(labelText("uploadProgressLabel"), QStringLiteral("Загрузка фото..."));
    EXPECT_EQ(labelText("uploadProgressDataLabel"), QStringLiteral("Начинаю..."));
    EXPECT_EQ(progressIndicator()->maximum(), 0) << "indeterminate until the connection opens";
    EXPECT_FALSE(
        HostFixture::screenshot(*uploadSheet(), QStringLiteral("export-progress-page")).isEmpty());
    ASSERT_TRUE(waitForPage(resultsPage));
    EXPECT_EQ(albumPhotos().keys(), QStringList({QStringLiteral("one.jpg")}));
}

TEST_F(Export, ThreePhotosCountFirstThenEachPhotoAndTheDataInKibAndMib) {
    QStringList photos;
    for (int i = 1; i <= 3; ++i)
        photos << addPhoto(QStringLiteral("p%1.jpg").arg(i), 3 * mib, quint32(i));
    ASSERT_TRUE(openSignedIn(photos)) << lastError().toStdString();
    recordProgress();

    pressExport();
    EXPECT_EQ(labelText("uploadProgressLabel"), QStringLiteral("Загружается 1 из 3 фото..."));
    ASSERT_TRUE(waitForPage(resultsPage));
    EXPECT_TRUE(progressLines.contains(QStringLiteral("Загружается 1 из 3 фото...")));
    EXPECT_TRUE(progressLines.contains(QStringLiteral("Загружается 2 из 3 фото...")));
    EXPECT_TRUE(progressLines.contains(QStringLiteral("Загружается 3 из 3 фото...")));
    // The total is the three requests: a little over 9 MiB; amounts run up to it.
    ASSERT_FALSE(dataLines.isEmpty());
    for (const QString& line : dataLines)
        EXPECT_TRUE(line.startsWith(QStringLiteral("Загружено ")) &&
                    line.endsWith(QStringLiteral(" из 9.00 MБ")))
            << line.toStdString();
    EXPECT_EQ(albumPhotos().size(), 3);
}

TEST_F(Export, ConnectionCutMidPhotoOffersRetryWhichSendsItAgain) {
    const QString first = addPhoto(QStringLiteral("first.jpg"), 700 * kib, 3);
    const QString second = addPhoto(QStringLiteral("second.jpg"), 500 * kib, 4);
    ASSERT_TRUE(openSignedIn({first, second})) << lastError().toStdString();
    // Qt resends a body once when the connection breaks under it: cut both tries.
    ASSERT_TRUE(host->service()->fault(QStringLiteral("/post/"), QStringLiteral("cut"), 2, 0, {},
                                       {{QStringLiteral("after"), 64 * 1024}}));

    pressExport();
    ASSERT_TRUE(waitForPage(failurePage));
    EXPECT_EQ(labelText("uploadResultFailureLabel"), bundleText("OVErrorUploadRetry"));
    EXPECT_FALSE(
        HostFixture::screenshot(*uploadSheet(), QStringLiteral("export-failure-page")).isEmpty());
    EXPECT_TRUE(albumPhotos().isEmpty());

    button("retryUploadButton")->click();
    // Back at what the completed photos add up to: nothing yet.
    EXPECT_EQ(uploadTab()->currentIndex(), progressPage);
    EXPECT_TRUE(
        labelText("uploadProgressDataLabel").startsWith(QStringLiteral("Загружено 0 КБ из 1.")))
        << labelText("uploadProgressDataLabel").toStdString();
    ASSERT_TRUE(waitForPage(resultsPage));
    const QMap<QString, QByteArray> stored = albumPhotos();
    EXPECT_EQ(stored.keys(),
              QStringList({QStringLiteral("first.jpg"), QStringLiteral("second.jpg")}));
    EXPECT_TRUE(stored.value(QStringLiteral("first.jpg")) == contents(first));
    EXPECT_TRUE(stored.value(QStringLiteral("second.jpg")) == contents(second));
}

TEST_F(Export, UnreachableAlbumCheckIsTriedThreeTimesMoreAQuarterSecondApart) {
    const QString first = addPhoto(QStringLiteral("first.jpg"), 300 * kib, 23);
    const QString second = addPhoto(QStringLiteral("second.jpg"), 300 * kib, 24);
    ASSERT_TRUE(openSignedIn({first, second})) << lastError().toStdString();
    // The album's own address (not the list's) answers 500 four times: the check after
    // the first photo and its three repeats.
    ASSERT_TRUE(host->service()->fault(QStringLiteral("/api/users/demo/album/"),
                                       QStringLiteral("status"), 4, 500));

    pressExport();
    ASSERT_TRUE(waitForPage(failurePage));
    EXPECT_EQ(labelText("uploadResultFailureLabel"), bundleText("OVErrorUploadRetry"));
    EXPECT_EQ(host->ticks(), QList<unsigned>({15, 15, 15}));
    EXPECT_EQ(albumPhotos().keys(), QStringList({QStringLiteral("first.jpg")}));

    // Retry goes on with the photo after the one that was sent.
    button("retryUploadButton")->click();
    ASSERT_TRUE(waitForPage(resultsPage));
    EXPECT_EQ(albumPhotos().keys(),
              QStringList({QStringLiteral("first.jpg"), QStringLiteral("second.jpg")}));
    EXPECT_EQ(uploadRequests(), 2);
}

TEST_F(Export, AlbumDeletedDuringTheExportStopsWithAlbumNotFoundAndNoLink) {
    const QString first = addPhoto(QStringLiteral("first.jpg"), 4 * mib, 5);
    const QString second = addPhoto(QStringLiteral("second.jpg"), 1 * mib, 6);
    ASSERT_TRUE(openSignedIn({first, second})) << lastError().toStdString();

    pressExport();
    // The first photo is on its way (the event loop has not run yet) when the album goes: a
    // progress signal is no reliable moment, a fast service may answer before one is shown.
    ASSERT_TRUE(uploadSheet()->isVisible());
    ASSERT_TRUE(deleteAlbum());
    ASSERT_TRUE(waitForPage(resultsPage));
    EXPECT_EQ(labelText("uploadResultLabel"), bundleText("OPProcedureErrorTitleUploadImage") +
                                                  QLatin1Char(' ') +
                                                  bundleText("OVErrorAlbumNotFound"));
    EXPECT_FALSE(widget<QLabel>("linkToUploadedAlbum")->isVisible());
    EXPECT_FALSE(
        HostFixture::screenshot(*uploadSheet(), QStringLiteral("export-stopped-page")).isEmpty());
}

TEST_F(Export, CancelBeforeTheFirstPhotoReportsNoneAndNoLink) {
    const QString photo = addPhoto(QStringLiteral("one.jpg"), 4 * mib);
    ASSERT_TRUE(openSignedIn({photo})) << lastError().toStdString();

    pressExport();
    ASSERT_TRUE(uploadSheet()->isVisible());
    button("cancelUploadButton")->click(); // before the event loop could end the photo
    EXPECT_EQ(uploadTab()->currentIndex(), resultsPage);
    EXPECT_EQ(labelText("uploadResultLabel"),
              QStringLiteral("Загрузка отменена. Загружено 0 фото."));
    EXPECT_FALSE(widget<QLabel>("linkToUploadedAlbum")->isVisible());
    EXPECT_FALSE(
        HostFixture::screenshot(*uploadSheet(), QStringLiteral("export-cancelled-page")).isEmpty());
    HostFixture::processEvents(200);
    EXPECT_EQ(uploadTab()->currentIndex(), resultsPage);
}

TEST_F(Export, CancelAfterTwoPhotosReportsTwoAndLinksTheAlbum) {
    QStringList photos;
    for (int i = 1; i <= 3; ++i)
        photos << addPhoto(QStringLiteral("p%1.jpg").arg(i), 6 * mib, quint32(10 + i));
    ASSERT_TRUE(openSignedIn(photos)) << lastError().toStdString();
    // Once the service has the second photo's request (it logs a request at its head), the
    // third is set up to hang there.
    bool armed = false;
    QObject::connect(
        QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
        progressIndicator(), [&] {
            if (!armed &&
                labelText("uploadProgressLabel") == QStringLiteral("Загружается 2 из 3 фото...") &&
                uploadRequests() == 2)
                armed = host->service()->fault(QStringLiteral("/post/"), QStringLiteral("stall"), 2,
                                               0, {}, {{QStringLiteral("seconds"), 5}});
        });

    pressExport();
    ASSERT_TRUE(HostFixture::waitFor(
        [&] {
            return labelText("uploadProgressLabel") == QStringLiteral("Загружается 3 из 3 фото...");
        },
        15000));
    ASSERT_TRUE(armed);
    button("cancelUploadButton")->click();
    EXPECT_EQ(uploadTab()->currentIndex(), resultsPage);
    EXPECT_EQ(labelText("uploadResultLabel"),
              QStringLiteral("Загрузка отменена. Загружено 2 фото."));
    QLabel* link = widget<QLabel>("linkToUploadedAlbum");
    EXPECT_TRUE(link->isVisible());
    EXPECT_EQ(albumLinkAddress(), albumPage());
    EXPECT_EQ(albumPhotos().keys(),
              QStringList({QStringLiteral("p1.jpg"), QStringLiteral("p2.jpg")}));
    host->service()->clearFaults();
}

TEST_F(Export, ReturnEscapeAndEnterLeaveTheSheetAndStartNoSecondExport) {
    const QString first = addPhoto(QStringLiteral("first.jpg"), 3 * mib, 7);
    const QString second = addPhoto(QStringLiteral("second.jpg"), 1 * mib, 8);
    ASSERT_TRUE(openSignedIn({first, second})) << lastError().toStdString();

    pressExport();
    QDialog* sheet = uploadSheet();
    ASSERT_TRUE(sheet->isVisible());
    QTest::keyClick(host->page(), Qt::Key_Return);
    QTest::keyClick(sheet, Qt::Key_Return);
    QTest::keyClick(sheet, Qt::Key_Escape);
    QTest::keyClick(sheet, Qt::Key_Enter, Qt::KeypadModifier);
    host->plugin()->startExport(QString());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(uploadTab()->currentIndex(), progressPage);
    EXPECT_EQ(labelText("uploadProgressLabel"), QStringLiteral("Загружается 1 из 2 фото..."));

    ASSERT_TRUE(waitForPage(resultsPage));
    QTest::keyClick(sheet, Qt::Key_Escape);
    QTest::keyClick(sheet, Qt::Key_Enter, Qt::KeypadModifier);
    HostFixture::processEvents(50);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(uploadTab()->currentIndex(), resultsPage);
    EXPECT_EQ(uploadRequests(), 2);
    EXPECT_EQ(albumPhotos().size(), 2);
}

TEST_F(Export, FileDeletedAfterSelectionShowsTheFailurePageNamingIt) {
    const QString kept = addPhoto(QStringLiteral("kept.jpg"), 100 * kib, 9);
    const QString gone = addPhoto(QStringLiteral("gone.jpg"), 100 * kib, 10);
    ASSERT_TRUE(openSignedIn({gone, kept})) << lastError().toStdString();
    ASSERT_TRUE(QFile::remove(gone));

    pressExport();
    ASSERT_TRUE(waitForPage(failurePage, 3000));
    EXPECT_TRUE(labelText("uploadResultFailureLabel").contains(QStringLiteral("«gone.jpg»")))
        << labelText("uploadResultFailureLabel").toStdString();
    EXPECT_FALSE(HostFixture::screenshot(*uploadSheet(), QStringLiteral("export-file-missing-page"))
                     .isEmpty());
    EXPECT_EQ(uploadRequests(), 0);

    // Retrying cannot bring the file back; cancelling reports no photo sent.
    button("retryUploadButton")->click();
    ASSERT_TRUE(waitForPage(failurePage, 3000));
    button("cancelRetryUploadButton")->click();
    EXPECT_EQ(labelText("uploadResultLabel"),
              bundleText("OVErrorConnection") + QStringLiteral(" Загружено 0 фото."));
    EXPECT_EQ(uploadRequests(), 0);
}

} // namespace
