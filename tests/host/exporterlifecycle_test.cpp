// The plug-in's controller on its own: construction, page set-up, the answers to the
// host, the image-count label and the settings box's keys.
#include "bundle.h"
#include "log.h"
#include "ovpiktoalbum.h"
#include "ovpiktoalbumlist.h"
#include "ovpiktoalbumslistcontroller.h"
#include "ovpiktoalbumwindowcontroller.h"
#include "ovpiktoexporter.h"
#include "ovpiktoexporterbox.h"
#include "ovpiktoexportercommlayer.h"
#include "ovpiktoexporterglobals.h"
#include "ovpiktoskippedimageswindow.h"
#include "ovpiktouploadwindowcontroller.h"
#include "qzformatter.h"
#include "qzlink.h"
#include "qzsecuretextfield.h"
#include "qztextfield.h"
#include "segmentedcontrol.h"
#include "tickwait.h"

#include "../widgets/screenshot.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

class FakeExportManager : public ExportImageProtocol {
public:
    unsigned imageCount() override { return count; }
    QString imagePathAtIndex(unsigned index) override {
        return QStringLiteral("/nonexistent/photo-%1.jpg").arg(index);
    }
    void clickExport() override { ++clickExportCalls; }

    unsigned count = 0;
    int clickExportCalls = 0;
};

// Records what the settings box asks of the controller.
class RecordingExporter : public OvPiktoExporter {
public:
    using OvPiktoExporter::OvPiktoExporter;
    void startExport(const QString& path) override { startExportPaths << path; }
    QStringList startExportPaths;
};

class ExporterLifecycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        savedRoot = qgetenv("OVPIKTO_ROOT");
        savedHome = qgetenv("HOME");
        qputenv("OVPIKTO_ROOT", temp.filePath("root").toUtf8());
        qputenv("HOME", temp.filePath("home").toUtf8());
        Bundle::registerLoaded(QStringLiteral(OVPIKTO_PLUGIN_BUNDLE));
        OvPiktoExporterGlobals::isAutoSignInInProgress = false;
        TickWait::setHook([](unsigned) {});
        exporter = std::make_unique<RecordingExporter>(
            &manager, ServiceUrls(QStringLiteral("http://127.0.0.1:9/")));
        exporter->loadNib();
        // The host shows the page inside its own dialog.
        hostDialog = std::make_unique<QDialog>();
        auto* layout = new QVBoxLayout(hostDialog.get());
        layout->addWidget(exporter->settingsView());
        hostDialog->show();
        QCoreApplication::processEvents();
    }

    void TearDown() override {
        exporter.reset();
        hostDialog.reset();
        TickWait::setHook({});
        qputenv("OVPIKTO_ROOT", savedRoot);
        qputenv("HOME", savedHome);
    }

    // Sends a key press and release to `target`, as typed.
    static void type(QWidget* target, Qt::Key key) {
        QTest::keyClick(target, key);
        QCoreApplication::processEvents();
    }

    QTemporaryDir temp;
    QByteArray savedRoot;
    QByteArray savedHome;
    FakeExportManager manager;
    std::unique_ptr<QDialog> hostDialog;
    std::unique_ptr<RecordingExporter> exporter;
};

// The formats of the label's rich text, one entry per character.
struct CharLook {
    bool bold;
    qreal pointSize;
};

QList<CharLook> looksOf(const QLabel& label, QString* plain) {
    QTextDocument document;
    document.setHtml(label.text());
    *plain = document.toPlainText();
    QList<CharLook> looks;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            for (int i = 0; i < fragment.length(); ++i)
                looks.append({format.fontWeight() >= QFont::Bold, format.fontPointSize()});
        }
    }
    return looks;
}

void expectCountLabel(RecordingExporter& exporter, int count) {
    exporter.imagesToUpload.clear();
    for (int i = 0; i < count; ++i)
        exporter.imagesToUpload << QStringLiteral("/photos/%1.jpg").arg(i);
    exporter.updateImageCountLabel();

    QString plain;
    const QList<CharLook> looks = looksOf(*exporter.imagesCountLabel, &plain);
    EXPECT_EQ(plain, QStringLiteral("Вы собираетесь загрузить %1 фото.").arg(count));
    ASSERT_EQ(looks.size(), plain.size());
    const int start = 25;
    const auto length = int(QString::number(count).size());
    for (int i = 0; i < looks.size(); ++i) {
        const bool inNumber = i >= start && i < start + length;
        EXPECT_EQ(looks[i].bold, inNumber) << "character " << i;
        EXPECT_EQ(looks[i].pointSize, inNumber ? 12.0 : 11.0) << "character " << i;
    }
}

TEST_F(ExporterLifecycleTest, RequiredFileTypeIsJpgBelowTwoImages) {
    manager.count = 0;
    EXPECT_EQ(exporter->requiredFileType(), QStringLiteral("jpg"));
    manager.count = 1;
    EXPECT_EQ(exporter->requiredFileType(), QStringLiteral("jpg"));
    manager.count = 2;
    EXPECT_EQ(exporter->requiredFileType(), QStringLiteral(""));
    EXPECT_FALSE(exporter->requiredFileType().isNull());
}

TEST_F(ExporterLifecycleTest, FixedAnswersToTheHost) {
    EXPECT_EQ(exporter->name(), QStringLiteral("Ovrana.Pikto Exporter"));
    EXPECT_EQ(exporter->defaultDirectory(), QStringLiteral("~/Pictures/"));
    EXPECT_EQ(exporter->getDestinationPath(), QStringLiteral(""));
    EXPECT_EQ(exporter->defaultFileName(), QStringLiteral(""));
    EXPECT_FALSE(exporter->wantsDestinationPrompt());
    EXPECT_FALSE(exporter->treatSingleSelectionDifferently());
    EXPECT_FALSE(exporter->handlesMovieFiles());
    EXPECT_FALSE(exporter->validateUserCreatedPath(QStringLiteral("/tmp")));
    EXPECT_EQ(exporter->settingsView(), exporter->mSettingsBox.data());
    EXPECT_EQ(exporter->firstView(), exporter->loginText);
    exporter->clickExport();
    EXPECT_EQ(manager.clickExportCalls, 1);
}

TEST_F(ExporterLifecycleTest, ConstructionStartsSignedOutRememberingAndWithoutMessage) {
    EXPECT_FALSE(exporter->isSignedIn);
    EXPECT_TRUE(exporter->rememberMe);
    EXPECT_FALSE(exporter->isExportStarted);
    EXPECT_TRUE(exporter->progress()->message.isNull());
    EXPECT_EQ(exporter->mExportMgr, &manager);
    EXPECT_EQ(exporter->failedConnectionMaxRetries, 30);
    EXPECT_EQ(exporter->failedConnectionRetryDelay, 180);
    EXPECT_EQ(exporter->activePluginTab(), 0);
}

TEST_F(ExporterLifecycleTest, CancelExportSetsShouldCancelAndLockGuardsTheRecord) {
    ExportPluginProgress* progress = exporter->progress();
    ASSERT_EQ(progress, &exporter->mProgress);
    EXPECT_FALSE(progress->shouldCancel);
    exporter->cancelExport();
    EXPECT_TRUE(progress->shouldCancel);
    EXPECT_FALSE(progress->shouldStop);

    exporter->lockProgress();
    EXPECT_FALSE(exporter->mProgressLock.tryLock());
    exporter->unlockProgress();
    ASSERT_TRUE(exporter->mProgressLock.tryLock());
    exporter->mProgressLock.unlock();
}

TEST_F(ExporterLifecycleTest, PageSetUpStylesLinksAndControls) {
    EXPECT_EQ(exporter->signOutLabel->text(), QStringLiteral("Выход"));
    EXPECT_EQ(exporter->signOutLabel->color(), QColor(90, 90, 90));
    EXPECT_TRUE(exporter->signOutLabel->hasCallback());
    EXPECT_EQ(exporter->updateSoftwareLink->text(), QStringLiteral("Обновления"));
    EXPECT_EQ(exporter->updateSoftwareLink->color(), QColor(90, 90, 90));
    EXPECT_EQ(exporter->userCreateAlbum->text(), QStringLiteral("создайте новый"));
    EXPECT_EQ(exporter->userCreateAlbum->color(), QColor(90, 90, 90));
    EXPECT_EQ(exporter->newAlbumPasswordRemove->text(), QStringLiteral("Снять пароль"));
    // 130 grey on a link with an action is drawn in the links' callback grey.
    EXPECT_EQ(exporter->newAlbumPasswordRemove->color(), QColor(90, 90, 90));
    EXPECT_TRUE(exporter->newAlbumPasswordRemove->hasCallback());
    EXPECT_TRUE(exporter->loginLabelText->isScreenNameHackEnabled());
    EXPECT_EQ(exporter->loginLabelText->color(), QColor(0, 0, 0));

    EXPECT_EQ(exporter->registerText->text(), QStringLiteral("Зарегистрироваться"));
    EXPECT_FALSE(exporter->registerText->hasCallback());
    EXPECT_EQ(exporter->registerText->url(),
              QUrl(QStringLiteral("http://127.0.0.1:9/passport/?mode=register")));
    EXPECT_EQ(exporter->forgottenPasswordText->text(), QStringLiteral("Забыли пароль?"));
    EXPECT_EQ(exporter->forgottenPasswordText->url(),
              QUrl(QStringLiteral("http://127.0.0.1:9/passport/?mode=remember")));
    EXPECT_EQ(exporter->serviceClient().serviceUrls().origin(),
              QStringLiteral("http://127.0.0.1:9"));

    // One formatter of 20 characters serves both sign-in fields.
    auto* formatter = qobject_cast<const QZFormatter*>(exporter->loginText->validator());
    ASSERT_NE(formatter, nullptr);
    EXPECT_EQ(formatter->maxLength(), 20);
    EXPECT_EQ(exporter->passwordText->validator(), formatter);

    for (int segment = 0; segment < 3; ++segment) {
        EXPECT_TRUE(exporter->albumControls->label(segment).isEmpty());
        EXPECT_EQ(exporter->albumControls->segmentButton(segment)->maximumWidth(), 31);
        EXPECT_EQ(exporter->albumControls->tag(segment), segment);
    }
    // The access radio matrix answers with the tags 0, 1, 2.
    EXPECT_EQ(exporter->imageAccessRadioGroup->checkedId(), 0);
    EXPECT_EQ(exporter->imageAccessRadioGroup->buttons().size(), 3);
    EXPECT_FALSE(exporter->signInProgress->isVisible());
}

TEST_F(ExporterLifecycleTest, ReturnAndEnterOnTheSignInPagePressSignIn) {
    QSignalSpy clicks(exporter->signInButton, &QPushButton::clicked);
    exporter->loginText->setFocus();
    type(exporter->loginText, Qt::Key_Return);
    // The empty form's message is answered before the next key.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* alert = qobject_cast<QMessageBox*>(window); alert && alert->isVisible())
            alert->buttons().first()->click();
    QCoreApplication::processEvents();
    type(exporter->passwordText, Qt::Key_Enter);
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_TRUE(exporter->startExportPaths.isEmpty());
    // The host dialog's own default handling did not see the keys.
    EXPECT_TRUE(hostDialog->isVisible());
}

TEST_F(ExporterLifecycleTest, ReturnAndEnterOnTheSignedInPageStartTheExport) {
    QSignalSpy clicks(exporter->signInButton, &QPushButton::clicked);
    exporter->mainTabView->setCurrentIndex(1);
    ASSERT_EQ(exporter->activePluginTab(), 1);
    type(exporter->albumsList, Qt::Key_Return);
    type(exporter->mSettingsBox, Qt::Key_Enter);
    EXPECT_EQ(exporter->startExportPaths, QStringList({QString(""), QString("")}));
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(ExporterLifecycleTest, ReturnDoesNothingWhileAnExportRuns) {
    QSignalSpy clicks(exporter->signInButton, &QPushButton::clicked);
    exporter->mainTabView->setCurrentIndex(1);
    exporter->isExportStarted = true;
    type(exporter->albumsList, Qt::Key_Return);
    type(exporter->albumsList, Qt::Key_Enter);
    EXPECT_TRUE(exporter->startExportPaths.isEmpty());
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_TRUE(hostDialog->isVisible());
}

TEST_F(ExporterLifecycleTest, EscapeIsSwallowedOnlyWhileAnExportRuns) {
    exporter->mainTabView->setCurrentIndex(1);
    exporter->isExportStarted = true;
    type(exporter->albumsList, Qt::Key_Escape);
    EXPECT_TRUE(hostDialog->isVisible()) << "Escape reached the host dialog during an export";

    exporter->isExportStarted = false;
    type(exporter->albumsList, Qt::Key_Escape);
    EXPECT_FALSE(hostDialog->isVisible()) << "Escape should close the host dialog when idle";
}

TEST_F(ExporterLifecycleTest, OtherKeysGoToTheFocusedControl) {
    exporter->loginText->setFocus();
    QTest::keyClicks(exporter->loginText, QStringLiteral("anna"));
    EXPECT_EQ(exporter->loginText->text(), QStringLiteral("anna"));
    // Only the first character decides: a key without text is not a key equivalent.
    QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    auto* box = static_cast<OvPiktoExporterBox*>(exporter->mSettingsBox.data());
    EXPECT_FALSE(box->performKeyEquivalent(&shift));
    EXPECT_TRUE(box->acceptsFirstResponder());
}

TEST_F(ExporterLifecycleTest, ShowingThePageDuringAPendingAutoSignInChangesNothing) {
    exporter->imagesToUpload = {QStringLiteral("/photos/kept.jpg")};
    exporter->updateImageCountLabel();
    const QString label = exporter->imagesCountLabel->text();
    exporter->passwordText->setText(QStringLiteral("1234567"));
    exporter->loginText->setEnabled(false);
    manager.count = 5;

    OvPiktoExporterGlobals::isAutoSignInInProgress = true;
    exporter->viewWillBeActivated();
    OvPiktoExporterGlobals::isAutoSignInInProgress = false;

    EXPECT_EQ(exporter->imagesToUpload, QStringList({QStringLiteral("/photos/kept.jpg")}));
    EXPECT_EQ(exporter->imagesCountLabel->text(), label);
    EXPECT_EQ(exporter->passwordText->text(), QStringLiteral("1234567"));
    EXPECT_FALSE(exporter->loginText->isEnabled());
}

TEST_F(ExporterLifecycleTest, ShowingThePageRebuildsTheListAndClearsThePassword) {
    exporter->imagesToUpload = {QStringLiteral("/photos/old.jpg")};
    exporter->passwordText->setText(QStringLiteral("secret"));
    exporter->signInProgress->show();
    exporter->viewWillBeActivated();
    // The host's paths do not exist, so nothing can be sent.
    EXPECT_TRUE(exporter->imagesToUpload.isEmpty());
    EXPECT_TRUE(exporter->passwordText->text().isEmpty());
    EXPECT_FALSE(exporter->signInProgress->isVisible());
    QString plain;
    looksOf(*exporter->imagesCountLabel, &plain);
    EXPECT_EQ(plain, QStringLiteral("Вы собираетесь загрузить 0 фото."));
}

TEST_F(ExporterLifecycleTest, CountLabelWithSevenPhotosHasOneBoldDigit) {
    expectCountLabel(*exporter, 7);
}

TEST_F(ExporterLifecycleTest, CountLabelWithOneHundredTwentyPhotosHasThreeBoldDigits) {
    expectCountLabel(*exporter, 120);
}

TEST_F(ExporterLifecycleTest, EndOfTheUploadSheetEndsTheExport) {
    exporter->isExportStarted = true;
    exporter->exportDialogDidEnd(nullptr, 0, nullptr);
    EXPECT_FALSE(exporter->isExportStarted);
}

TEST_F(ExporterLifecycleTest, TheHostMayDeleteThePageFirst) {
    QPointer<QWidget> page = exporter->settingsView();
    hostDialog.reset();
    EXPECT_TRUE(page.isNull());
    exporter.reset(); // must not touch the deleted page
}

TEST_F(ExporterLifecycleTest, DestroyingTheControllerDeletesItsPage) {
    QPointer<QWidget> page = exporter->settingsView();
    QPointer<QWidget> sheet = exporter->uploadWindow;
    exporter.reset();
    EXPECT_TRUE(page.isNull());
    EXPECT_TRUE(sheet.isNull());
}

// Every page and sheet as a person sees it, for the layout review.
TEST_F(ExporterLifecycleTest, PagesAndSheetsAreSavedAsScreenshots) {
    ASSERT_TRUE(saveScreenshot(*hostDialog, QStringLiteral("exporter-signed-out")));

    exporter->mainTabView->setCurrentIndex(1);
    exporter->loginLabelText->setObjectValue(QStringLiteral("anna"));
    exporter->albumsListController->setAlbums(QList<OvPiktoAlbum>{
        {QStringLiteral("Лето на даче"), QString(), 42, false, QStringLiteral("1")},
        {QStringLiteral("Семья"), QString(), 7, true, QStringLiteral("2")},
        {QStringLiteral("Работа"), QString(), 120, false, QStringLiteral("3")}});
    exporter->albumsList->reloadData();
    exporter->albumsList->selectRow(0);
    exporter->imagesToUpload = {QStringLiteral("a.jpg"), QStringLiteral("b.jpg"),
                                QStringLiteral("c.jpg")};
    exporter->updateImageCountLabel();
    // A native table: no row numbers, no empty header row.
    EXPECT_FALSE(exporter->albumsList->verticalHeader()->isVisible());
    EXPECT_FALSE(exporter->albumsList->horizontalHeader()->isVisible());
    ASSERT_TRUE(saveScreenshot(*hostDialog, QStringLiteral("exporter-signed-in")));

    exporter->showAlbumRemovePasswordControls(false);
    exporter->albumProperties->adjustSize();
    ASSERT_TRUE(saveScreenshot(*exporter->albumProperties, QStringLiteral("exporter-album-sheet")));

    const char* pages[] = {"exporter-upload-progress", "exporter-upload-failure",
                           "exporter-upload-results"};
    for (int page = 0; page < 3; ++page) {
        exporter->uploadTab->setCurrentIndex(page);
        ASSERT_TRUE(saveScreenshot(*exporter->uploadWindow, QString::fromLatin1(pages[page])));
    }

    exporter->skippedImagesList->setPlainText(QStringLiteral("\u25B6 /photos/panorama.tif\n"));
    ASSERT_TRUE(
        saveScreenshot(*exporter->skippedImagesWindow, QStringLiteral("exporter-skipped-sheet")));
}

// Both languages carry every text the plug-in looks up, and nothing only one has.
TEST(ExporterBundleTest, RussianAndEnglishTextsHaveTheSameCompleteKeys) {
    const QStringList required = {"OPServiceName",
                                  "OVErrorConnection",
                                  "OPErrorAuth",
                                  "OVErrorAlbumNotFound",
                                  "OVErrorAccessForbidden",
                                  "OPGotErrorCallSupport",
                                  "OPLoginMissing",
                                  "OPPasswordMissing",
                                  "OPAuthErrorCheckLoginOrPassword",
                                  "OPConnectionErrorTryAgain",
                                  "OPEULAAccept",
                                  "OPProcedureErrorTitleGetAlbums",
                                  "OPProcedureErrorTitleAddAlbum",
                                  "OPProcedureErrorTitleEditAlbum",
                                  "OPProcedureErrorTitleDeleteAlbum",
                                  "OPProcedureErrorTitleUploadImage",
                                  "OVAlbumDeleteConfirmation",
                                  "OVNoAlbumSelected",
                                  "OVErrorUploadRetry",
                                  "OVAllImagesSuccessfullyUploaded",
                                  "OPCancellingUpload",
                                  "OPNoUpdatesAvailable"};
    const QByteArray savedLanguage = qgetenv("OVPIKTO_LANG");
    const Bundle bundle(QStringLiteral(OVPIKTO_PLUGIN_BUNDLE));
    qputenv("OVPIKTO_LANG", "ru");
    const QVariantMap russian = bundle.localizedInfoDictionary();
    qputenv("OVPIKTO_LANG", "en");
    const QVariantMap english = bundle.localizedInfoDictionary();
    qputenv("OVPIKTO_LANG", savedLanguage);

    EXPECT_EQ(russian.keys(), english.keys());
    for (const QString& key : required) {
        EXPECT_FALSE(russian.value(key).toString().isEmpty()) << key.toStdString();
        EXPECT_FALSE(english.value(key).toString().isEmpty()) << key.toStdString();
    }
    EXPECT_NE(russian.value("OVErrorConnection"), english.value("OVErrorConnection"));
    EXPECT_TRUE(russian.value("OVAlbumDeleteConfirmation").toString().contains("%@"));
    EXPECT_TRUE(english.value("OVAlbumDeleteConfirmation").toString().contains("%@"));
    // The keychain's service name is not translated.
    EXPECT_FALSE(bundle.infoDictionary().value("OPApplicationID").toString().isEmpty());
}

TEST(ExporterLogTest, ConstructionSetUpAndDestructionLogTheirSteps) {
    QStringList lines;
    Log::setSink([&lines](const QString& line) { lines << line; });
    Bundle::registerLoaded(QStringLiteral(OVPIKTO_PLUGIN_BUNDLE));
    FakeExportManager manager;
    {
        OvPiktoExporter exporter(&manager, ServiceUrls());
        exporter.loadNib();
    }
    Log::setSink({});
    // Other steps (the account look-up) may log in between; these come in this order.
    const QStringList expected = {"initWithExportImageObj: Entered",
                                  "initWithExportImageObj: Exited OK", "awakeFromNib: Exited OK",
                                  "dealloc: Entered", "dealloc: Exited OK"};
    qsizetype at = 0;
    for (const QString& line : expected) {
        at = lines.indexOf(line, at);
        ASSERT_GE(at, 0) << line.toStdString() << " missing or out of order in\n"
                         << lines.join('\n').toStdString();
    }
    EXPECT_EQ(lines.first(), expected.first());
    EXPECT_EQ(lines.last(), expected.last());
}

} // namespace
