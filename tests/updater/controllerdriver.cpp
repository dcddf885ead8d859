#include "controllerdriver.h"

#include "eventloopwait.h"

ControllerDriver::ControllerDriver(const ServiceUrls& urls) : controller(urls) {
    controller.setRunningCheck([this] { return hostRunning; });
    controller.setTerminate([this] { ++terminations; });
    QObject::connect(&controller, &MainController::downloadFailed,
                     [this](const QString& message) { failureAlerts.append(message); });
    QObject::connect(&controller, &MainController::stateChanged,
                     [this] { states.append(controller.state()); });
}

bool ControllerDriver::waitForEnd(int timeoutMs) {
    return runEventLoopUntil(
        [this] {
            const auto outcome = controller.outcome();
            return outcome == MainController::Outcome::Installed ||
                   outcome == MainController::Outcome::InstallFailed || !failureAlerts.isEmpty();
        },
        timeoutMs);
}

bool ControllerDriver::waitForPage(const QString& page, int timeoutMs) {
    return runEventLoopUntil([&] { return controller.state().page == page; }, timeoutMs);
}
