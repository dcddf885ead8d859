#pragma once

#include <QWidget>

#include <memory>

class MainController;
class QCloseEvent;
class QShowEvent;

namespace Ui {
class UpdaterWindow;
}

// The updater's window: four pages in a stack, named by the controller's page
// identifiers, showing the controller's state and sending the buttons to its actions.
class UpdaterWindow : public QWidget {
    Q_OBJECT
public:
    // Builds the interface and starts following `controller`, which must outlive it.
    explicit UpdaterWindow(MainController& controller, QWidget* parent = nullptr);
    ~UpdaterWindow() override;

    Ui::UpdaterWindow& ui() { return *m_ui; }
    // The page the stack shows, by the controller's identifier.
    QString currentPage() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void refresh();
    void showDownloadFailure(const QString& message);

    MainController& m_controller;
    std::unique_ptr<Ui::UpdaterWindow> m_ui;
    bool m_closingByController = false;
};
