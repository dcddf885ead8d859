#include "session.h"

#include "command.h"
#include "serviceresult.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

// One line of standard input, without echo when it is a terminal.
std::optional<QString> readLineQuietly() {
    termios saved{};
    const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        std::fputs("Password: ", stderr);
        std::fflush(stderr);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    if (!got && line.empty())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

} // namespace

std::optional<QString> Session::readPassword() const {
    if (passwordFromStdin)
        return readLineQuietly();
    if (qEnvironmentVariableIsSet("PIKTO_PASSWORD"))
        return qEnvironmentVariable("PIKTO_PASSWORD");
    return std::nullopt;
}

int Session::signIn() {
    if (login.isEmpty())
        return usageError(QStringLiteral("no login: give --login LOGIN"));
    const std::optional<QString> password = readPassword();
    if (!password || password->isEmpty())
        return usageError(QStringLiteral(
            "no password: set PIKTO_PASSWORD or give it on standard input with --password-stdin"));

    m_credentials = OVPiktoCredentials(login, *password);
    const int result = m_client.signIntoOvranaPiktoWithCredentials(m_credentials);
    // Only the token is needed from here on.
    m_credentials.setPassword(QString());
    if (result == ServiceResult::AuthRefused) {
        printError(QStringLiteral("sign-in: wrong login or password"));
        return result;
    }
    if (result != ServiceResult::Success || m_credentials.token().isEmpty())
        return fail(QStringLiteral("sign-in"), result);
    return ExitStatus::Ok;
}

QString Session::messageForResult(int code) {
    switch (code) {
    case ServiceResult::OtherStatus:
        return QStringLiteral("the service answered with an unexpected status");
    case ServiceResult::NoConnection:
        return QStringLiteral("the service cannot be reached or gave no usable answer");
    case ServiceResult::AuthRefused:
        return QStringLiteral("the service refused the sign-in");
    case ServiceResult::AlbumNotFound:
        return QStringLiteral("album not found");
    case ServiceResult::AccessForbidden:
        return QStringLiteral("access forbidden");
    default:
        return QStringLiteral("unexpected failure (code %1)").arg(code);
    }
}

int Session::fail(const QString& what, int code) const {
    QString why = messageForResult(code);
    if (code == ServiceResult::OtherStatus || code == ServiceResult::NoConnection) {
        if (const QString happened = m_client.lastRequest().text(); !happened.isEmpty())
            why = happened;
    }
    printError(QStringLiteral("%1: %2").arg(what, why));
    return code >= 1 && code <= 5 ? code : ServiceResult::NoConnection;
}

void Session::warnIfUnreadable(const QString& what) const {
    const RequestOutcome& last = m_client.lastRequest();
    if (last.kind == RequestOutcome::Kind::Unreadable)
        printError(QStringLiteral("warning: %1: %2").arg(what, last.text()));
}

void Session::printError(const QString& text) {
    std::fprintf(stderr, "pikto: %s\n", text.toUtf8().constData());
}

void Session::print(const QString& line) {
    std::fputs((line + '\n').toUtf8().constData(), stdout);
}

int Session::usageError(const QString& text) {
    printError(text);
    return ExitStatus::Usage;
}
