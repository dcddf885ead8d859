#pragma once

#include <QObject>
#include <QTextStream>
#include <QTimer>

class MainController;

// The updater without its window, for administrators and scripts. Prints progress
// lines and ends with an exit code:
//   --check:   0 a newer build exists, 1 none, 2 failure;
//   --install: 0 only when the new build is in place, 1 when there is nothing newer,
//              2 on any failure (the installed build then stays as it was).
// Both drive the same controller as the window.
class UnattendedRun : public QObject {
    Q_OBJECT
public:
    enum class Mode { Check, Install };

    // `waitSeconds`: how long --install waits for the host to quit.
    UnattendedRun(MainController& controller, Mode mode, int waitSeconds, QTextStream& out,
                  QObject* parent = nullptr);

    // Runs start-up; --check is then done, --install goes on on the event loop.
    void start();
    // How often the host is asked whether it still runs while the update waits.
    void setPollInterval(int ms) { m_poll.setInterval(ms); }
    bool isFinished() const { return m_finished; }
    int exitCode() const { return m_exitCode; }

signals:
    void finished(int exitCode);

private:
    void onStateChanged();
    void finish(int code);
    void print(const QString& line);

    MainController& m_controller;
    Mode m_mode;
    int m_waitSeconds;
    QTextStream& m_out;
    QTimer m_poll;
    qint64 m_waitedMs = 0;
    QString m_lastPage;
    QString m_lastInfo;
    int m_lastTenth = -1;
    bool m_finished = false;
    int m_exitCode = 2;
};
