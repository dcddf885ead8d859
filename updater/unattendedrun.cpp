#include "unattendedrun.h"

#include "maincontroller.h"

UnattendedRun::UnattendedRun(MainController& controller, Mode mode, int waitSeconds,
                             QTextStream& out, QObject* parent)
    : QObject(parent), m_controller(controller), m_mode(mode), m_waitSeconds(waitSeconds),
      m_out(out) {
    m_poll.setInterval(1000);
    connect(&m_poll, &QTimer::timeout, this, [this] {
        m_waitedMs += m_poll.interval();
        m_controller.tryToContinueInstallation();
        if (m_finished || m_controller.state().page != MainController::pageCloseIPhoto)
            return;
        if (m_waitedMs >= qint64(m_waitSeconds) * 1000) {
            print(QStringLiteral("iPhoto is still running after %1 s; nothing was installed")
                      .arg(m_waitSeconds));
            finish(2);
        }
    });
}

void UnattendedRun::print(const QString& line) {
    m_out << line << Qt::endl;
}

void UnattendedRun::finish(int code) {
    if (m_finished)
        return;
    m_poll.stop();
    m_finished = true;
    m_exitCode = code;
    emit finished(code);
}

void UnattendedRun::start() {
    m_controller.awakeFromNib();
    using Outcome = MainController::Outcome;
    const Outcome outcome = m_controller.outcome();
    if (!m_controller.installedVersion().isNull())
        print(QStringLiteral("installed: %1").arg(m_controller.installedVersion()));
    if (outcome == Outcome::CheckFailed) {
        print(QStringLiteral("failed: %1").arg(m_controller.state().finishText));
        return finish(2);
    }
    if (outcome == Outcome::NoUpdate) {
        print(QStringLiteral("offered: nothing newer"));
        return finish(1);
    }
    const auto& info = m_controller.info();
    print(QStringLiteral("offered: %1 %2").arg(info->version(), info->url()));
    if (!m_controller.verifiesReleases())
        print(QStringLiteral("warning: releases are not verified: no release key is set "
                             "(OPUpdatePublicKey)"));
    if (m_mode == Mode::Check)
        return finish(0);

    connect(&m_controller, &MainController::stateChanged, this, &UnattendedRun::onStateChanged);
    connect(&m_controller, &MainController::downloadFailed, this, [this](const QString& message) {
        print(QStringLiteral("download failed: %1").arg(message));
        finish(2);
    });
    m_controller.installUpdate();
}

void UnattendedRun::onStateChanged() {
    if (m_finished)
        return;
    const UpdaterPageState& state = m_controller.state();
    if (state.page != m_lastPage) {
        m_lastPage = state.page;
        if (state.page == MainController::pageCloseIPhoto) {
            print(QStringLiteral("waiting up to %1 s for iPhoto to quit").arg(m_waitSeconds));
            m_waitedMs = 0;
            m_poll.start();
        }
    }
    // One line per tenth of a determinate download, one per change of any other line.
    const int tenth = state.barIndeterminate ? -1 : int(state.barValue) / 100;
    if (state.downloadInfo != m_lastInfo && (state.barIndeterminate || tenth != m_lastTenth)) {
        m_lastInfo = state.downloadInfo;
        m_lastTenth = tenth;
        print(state.downloadInfo);
    }
    switch (m_controller.outcome()) {
    case MainController::Outcome::Installed:
        print(QStringLiteral("installed: %1").arg(m_controller.info()->version()));
        return finish(0);
    case MainController::Outcome::InstallFailed:
        print(QStringLiteral("failed: %1").arg(m_controller.failureReason()));
        return finish(2);
    default:
        return;
    }
}
