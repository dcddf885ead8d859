#pragma once

#include <QDialog>
#include <QList>
#include <QTimer>

class ExportPluginProtocol;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;

// The Export dialog: one tab per export plug-in with the plug-in's page, a progress
// line, and the Export and Cancel buttons. Export calls the current plug-in's
// startExport then performExport; Cancel (and Escape) calls its cancelExport and
// closes the dialog. While the dialog is visible the plug-in's progress record is
// read, under its lock, and shown.
class ExportDialog : public QDialog {
    Q_OBJECT

public:
    explicit ExportDialog(QWidget* parent = nullptr);
    ~ExportDialog() override;

    // Adds a tab with the plug-in's page (the plug-in keeps owning it). Not owned.
    void addPlugin(ExportPluginProtocol* plugin);
    // Forgets every plug-in and hands their pages back (without a parent); the host
    // calls it before it destroys its plug-ins, and the dialog's destructor does too.
    void removeAllPlugins();
    int pluginCount() const { return int(m_plugins.size()); }
    // The plug-in of the selected tab, or null without plug-ins.
    ExportPluginProtocol* currentPlugin() const;
    // Shows the dialog window-modally on its parent with tab `index` selected.
    void openOnTab(int index);

    QTabWidget* tabs() const { return m_tabs; }
    QPushButton* exportButton() const { return m_exportButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    QLabel* progressLabel() const { return m_progressLabel; }
    QProgressBar* progressBar() const { return m_progressBar; }

    // Reads the current plug-in's progress record (lockProgress .. unlockProgress) and
    // shows it.
    void showProgress();

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void exportClicked();
    void tabChanged(int index);
    void activate(ExportPluginProtocol* plugin);

    QTabWidget* m_tabs = nullptr;
    QLabel* m_progressLabel = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QPushButton* m_exportButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QList<ExportPluginProtocol*> m_plugins;
    ExportPluginProtocol* m_active = nullptr;
    QTimer m_progressTimer;
};
