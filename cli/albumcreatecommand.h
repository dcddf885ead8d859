#pragma once

#include "command.h"

// pikto album create --title T [--summary S] [--password P]: prints the new album's ID.
class AlbumCreateCommand : public Command {
public:
    QStringList words() const override {
        return {QStringLiteral("album"), QStringLiteral("create")};
    }
    QString summary() const override;
    QList<Arguments::Option> options() const override;
    QString details() const override;
    int run(const Arguments& arguments, Session& session) override;
};
