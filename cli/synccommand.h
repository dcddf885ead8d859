#pragma once

#include "command.h"

#include <QString>

// pikto sync DIR --album ID [--access ...] [--disable-comments] [--hide-original]
//                [--adults-only] [--dry-run]
// Publishes a folder to an album and keeps it published: sends, one after another, the
// photos whose content the album's record does not list yet, and records each one as soon
// as the service confirmed it (see SyncRecord, SyncPlan).
class SyncCommand : public Command {
public:
    QStringList words() const override { return {QStringLiteral("sync")}; }
    QString summary() const override;
    QStringList parameters() const override { return {QStringLiteral("DIR")}; }
    QList<Arguments::Option> options() const override;
    QString details() const override;
    // 0 when every photo not set aside is in the album; 64 for bad arguments, a folder
    // that cannot be read, or a record that is held by another run, damaged or cannot be
    // written; otherwise the service result code of the failure (1 when the service
    // refused photos, which the run went on past).
    int run(const Arguments& arguments, Session& session) override;
};
