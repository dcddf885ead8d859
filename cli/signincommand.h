#pragma once

#include "command.h"

// pikto signin: signs in and says so; the token is never shown.
class SignInCommand : public Command {
public:
    QStringList words() const override { return {QStringLiteral("signin")}; }
    QString summary() const override;
    int run(const Arguments& arguments, Session& session) override;
};
