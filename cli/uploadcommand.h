#pragma once

#include "command.h"

#include <QString>

// pikto upload --album ID [--access public|friends|private] [--disable-comments]
//              [--hide-original] [--adults-only] FILE...
// Signs in, sends the files one after another with the plug-in's uploader, and prints
// the album's web address at the end. Files of 20 MiB or more are set aside with a note.
class UploadCommand : public Command {
public:
    QStringList words() const override { return {QStringLiteral("upload")}; }
    QString summary() const override;
    QStringList parameters() const override { return {QStringLiteral("FILE...")}; }
    QList<Arguments::Option> options() const override;
    QString details() const override;
    // 0 when every file that was not set aside is on the service; 64 for bad
    // arguments, an unreadable file or nothing to send; otherwise the service result
    // code of the failure (see the Session texts).
    int run(const Arguments& arguments, Session& session) override;
};
