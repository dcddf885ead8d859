#pragma once

#include "command.h"

// pikto album delete ID: deletes the album and its photos.
class AlbumDeleteCommand : public Command {
public:
    QStringList words() const override {
        return {QStringLiteral("album"), QStringLiteral("delete")};
    }
    QString summary() const override;
    QStringList parameters() const override { return {QStringLiteral("ID")}; }
    int run(const Arguments& arguments, Session& session) override;
};
