#pragma once

#include "command.h"

// pikto check-update VERSION: prints the newest release newer than VERSION as
// "VERSION<TAB>URL<TAB>TITLE", or "no update". Needs no sign-in.
class CheckUpdateCommand : public Command {
public:
    QStringList words() const override { return {QStringLiteral("check-update")}; }
    QString summary() const override;
    QStringList parameters() const override { return {QStringLiteral("VERSION")}; }
    int run(const Arguments& arguments, Session& session) override;
};
