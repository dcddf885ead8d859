#pragma once

#include "command.h"

// pikto album edit ID --title T --summary S [--password P]: rewrites the album's
// title, summary and password.
class AlbumEditCommand : public Command {
public:
    QStringList words() const override { return {QStringLiteral("album"), QStringLiteral("edit")}; }
    QString summary() const override;
    QStringList parameters() const override { return {QStringLiteral("ID")}; }
    QList<Arguments::Option> options() const override;
    QString details() const override;
    int run(const Arguments& arguments, Session& session) override;
};
