#include "piktoprocess.h"

#include <QProcess>

#include <gtest/gtest.h>

QString PiktoProcess::executable() {
    return QStringLiteral(OVPIKTO_BIN_DIR "/pikto");
}

PiktoProcess::Outcome PiktoProcess::run(const QStringList& args,
                                        const QProcessEnvironment& environment,
                                        const QByteArray& input, const QString& terminalWrapper,
                                        int timeoutMs) {
    QProcess process;
    process.setProcessEnvironment(environment);
    if (terminalWrapper.isEmpty()) {
        process.start(executable(), args);
    } else {
        QStringList quoted;
        for (const QString& word : QStringList{executable()} + args)
            quoted << QLatin1Char('\'') + QString(word).replace("'", "'\\''") + QLatin1Char('\'');
        process.start(terminalWrapper,
                      {QStringLiteral("-qefc"), quoted.join(' '), QStringLiteral("/dev/null")});
    }
    Outcome outcome;
    if (!process.waitForStarted(10000)) {
        ADD_FAILURE() << "pikto did not start";
        return outcome;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        ADD_FAILURE() << "pikto did not finish";
        process.kill();
        process.waitForFinished();
        return outcome;
    }
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}
