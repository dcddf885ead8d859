#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Runs this build's `pikto` executable the way a person would, for tests.
class PiktoProcess {
public:
    struct Outcome {
        int exitCode = -1; // −1 when it crashed, did not start or did not finish
        QString out;
        QString err;
    };

    // Runs pikto with `args`, `environment` and `input` on its standard input. With a
    // `terminalWrapper` (the path of util-linux `script`) it runs on a pseudo-terminal.
    // Records a test failure when pikto does not start or does not end in `timeoutMs`.
    static Outcome run(const QStringList& args, const QProcessEnvironment& environment,
                       const QByteArray& input = {}, const QString& terminalWrapper = {},
                       int timeoutMs = 60000);
    // The executable's path.
    static QString executable();
};
