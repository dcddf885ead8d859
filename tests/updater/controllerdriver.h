#pragma once

#include "maincontroller.h"
#include "serviceurls.h"

#include <QStringList>

// Runs a controller the way the window does, with the host's process check and the
// application's end replaced, and records what the interface would have shown.
class ControllerDriver {
public:
    explicit ControllerDriver(const ServiceUrls& urls);

    MainController controller;
    bool hostRunning = false;
    int terminations = 0;
    QStringList failureAlerts;
    QList<UpdaterPageState> states;

    // Runs the event loop until the installation ends (installed or failed) or a
    // download-failure alert appears; false when neither happens within `timeoutMs`.
    bool waitForEnd(int timeoutMs = 10000);
    // Runs the event loop until the controller shows `page`.
    bool waitForPage(const QString& page, int timeoutMs = 10000);
};
