#include "signincommand.h"

#include "session.h"

QString SignInCommand::summary() const {
    return QStringLiteral("sign in with the login and password, to check them");
}

int SignInCommand::run(const Arguments&, Session& session) {
    if (const int status = session.signIn(); status != ExitStatus::Ok)
        return status;
    Session::print(QStringLiteral("signed in as %1").arg(session.credentials().login()));
    return ExitStatus::Ok;
}
