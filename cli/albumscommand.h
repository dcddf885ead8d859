#pragma once

#include "command.h"

// pikto albums: one album a line, fields separated by tabs: identifier, name, image
// count, "locked" or "open", description.
class AlbumsCommand : public Command {
public:
    QStringList words() const override { return {QStringLiteral("albums")}; }
    QString summary() const override;
    QString details() const override;
    int run(const Arguments& arguments, Session& session) override;
};
