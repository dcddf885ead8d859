// The Export dialog's side of the host interface, with a plug-in that records its calls.
#include "exportdialog.h"
#include "exportpluginprotocol.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class RecordingPlugin : public ExportPluginProtocol {
public:
    explicit RecordingPlugin(QString name) : m_name(std::move(name)) {}

    QWidget* settingsView() override { return &page; }
    QWidget* firstView() override { return nullptr; }
    void viewWillBeActivated() override { calls << QStringLiteral("activated"); }
    void viewWillBeDeactivated() override { calls << QStringLiteral("deactivated"); }
    QString requiredFileType() override { return {}; }
    bool wantsDestinationPrompt() override { return false; }
    QString getDestinationPath() override { return QStringLiteral("/dest"); }
    QString defaultFileName() override { return {}; }
    QString defaultDirectory() override { return {}; }
    bool treatSingleSelectionDifferently() override { return false; }
    bool handlesMovieFiles() override { return false; }
    bool validateUserCreatedPath(const QString&) override { return false; }
    void startExport(const QString& path) override { calls << QStringLiteral("start ") + path; }
    void performExport(const QString& path) override { calls << QStringLiteral("perform ") + path; }
    ExportPluginProgress* progress() override {
        if (!locked)
            calls << QStringLiteral("progress read without the lock");
        return &record;
    }
    void lockProgress() override { locked = true; }
    void unlockProgress() override { locked = false; }
    void cancelExport() override { calls << QStringLiteral("cancel"); }
    QString name() override { return m_name; }

    QWidget page;
    QStringList calls;
    ExportPluginProgress record;
    bool locked = false;

private:
    QString m_name;
};

TEST(ExportDialogTest, ExportStartsThenPerformsOnTheCurrentPlugin) {
    RecordingPlugin first(QStringLiteral("First"));
    RecordingPlugin second(QStringLiteral("Second"));
    {
        ExportDialog dialog;
        dialog.addPlugin(&first);
        dialog.addPlugin(&second);
        EXPECT_EQ(dialog.tabs()->tabText(1), QStringLiteral("Second"));
        dialog.openOnTab(1);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        EXPECT_EQ(second.calls, QStringList({"activated"}));

        second.calls.clear();
        dialog.exportButton()->click();
        EXPECT_EQ(second.calls.mid(0, 2), QStringList({"start /dest", "perform /dest"}));
        EXPECT_FALSE(second.calls.contains(QStringLiteral("progress read without the lock")));
        EXPECT_TRUE(first.calls.isEmpty());
        dialog.removeAllPlugins();
    }
}

TEST(ExportDialogTest, SwitchingTabsDeactivatesOnePageAndActivatesTheOther) {
    RecordingPlugin first(QStringLiteral("First"));
    RecordingPlugin second(QStringLiteral("Second"));
    ExportDialog dialog;
    dialog.addPlugin(&first);
    dialog.addPlugin(&second);
    dialog.openOnTab(0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.tabs()->setCurrentIndex(1);
    EXPECT_EQ(first.calls, QStringList({"activated", "deactivated"}));
    EXPECT_EQ(second.calls, QStringList({"activated"}));
    dialog.removeAllPlugins();
}

TEST(ExportDialogTest, CancelAndEscapeCancelTheExportAndCloseTheDialog) {
    RecordingPlugin plugin(QStringLiteral("Only"));
    ExportDialog dialog;
    dialog.addPlugin(&plugin);
    dialog.openOnTab(0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.cancelButton()->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(plugin.calls, QStringList({"activated", "cancel", "deactivated"}));

    plugin.calls.clear();
    dialog.openOnTab(0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(plugin.calls.contains(QStringLiteral("cancel")));
    dialog.removeAllPlugins();
}

TEST(ExportDialogTest, ProgressIsReadUnderTheLock) {
    RecordingPlugin plugin(QStringLiteral("Only"));
    ExportDialog dialog;
    dialog.addPlugin(&plugin);
    plugin.record.message = QStringLiteral("Half way");
    plugin.record.indeterminateProgress = true;
    dialog.showProgress();
    EXPECT_EQ(dialog.progressLabel()->text(), QStringLiteral("Half way"));
    EXPECT_TRUE(plugin.calls.isEmpty()) << plugin.calls.join(", ").toStdString();
    EXPECT_FALSE(plugin.locked);
    dialog.removeAllPlugins();
}

} // namespace
