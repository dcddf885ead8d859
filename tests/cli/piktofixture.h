#pragma once

#include "piktoprocess.h"
#include "serviceprocess.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// pikto run for real against its own stand-in service, as the account anna:secret, with
// a state folder of its own (XDG_STATE_HOME).
class Pikto : public ::testing::Test {
protected:
    using Outcome = PiktoProcess::Outcome;

    void SetUp() override {
        service.setOptions({{QStringLiteral("anna:secret")}, {}, releases.path()});
        ASSERT_TRUE(service.start()) << service.lastError().toStdString();
    }

    // The environment pikto runs in; the password from PIKTO_PASSWORD unless null.
    QProcessEnvironment environment(const QString& password = QStringLiteral("secret")) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("OVPIKTO_SERVICE_URL"));
        env.remove(QStringLiteral("PIKTO_PASSWORD"));
        if (!password.isNull())
            env.insert(QStringLiteral("PIKTO_PASSWORD"), password);
        env.insert(QStringLiteral("XDG_STATE_HOME"), state.path());
        return env;
    }

    // `args` after the global options for the service and the login.
    QStringList commandLine(const QStringList& args) const {
        return QStringList{"--service", service.origin(), "--login", "anna"} + args;
    }

    Outcome pikto(const QStringList& args, const QString& password = QStringLiteral("secret"),
                  const QByteArray& input = {}) {
        return PiktoProcess::run(commandLine(args), environment(password), input, {}, 30000);
    }

    QStringList albumLines() {
        const Outcome run = pikto({QStringLiteral("albums")});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return run.out.split('\n', Qt::SkipEmptyParts);
    }

    void publishFeed(const QString& current, const QString& newer) {
        QFile feed(releases.filePath(QStringLiteral("versions.xml")));
        ASSERT_TRUE(feed.open(QIODevice::WriteOnly));
        feed.write(QStringLiteral("<rss><channel>"
                                  "<item><title>Old</title>"
                                  "<enclosure url=\"%1/OvPikto_%2.zip\"/></item>"
                                  "<item><title>Faster uploads</title>"
                                  "<enclosure url=\"%1/OvPikto_%3.zip\"/></item>"
                                  "</channel></rss>")
                       .arg(service.origin(), current, newer)
                       .toUtf8());
    }

    QTemporaryDir releases;
    QTemporaryDir state;
    ServiceProcess service;
};
