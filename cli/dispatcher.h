#pragma once

#include "command.h"
#include "serviceurls.h"

#include <QStringList>

#include <memory>
#include <vector>

// Reads the global options, picks the command by its words, checks its arguments and
// runs it. Global options may stand anywhere before "--":
//   --service URL      the service origin, http:// or https:// (else OVPIKTO_SERVICE_URL,
//                      else the default)
//   --login LOGIN
//   --password-stdin   read the password from one line of standard input
//   --verbose          show the client's log on standard error
class Dispatcher {
public:
    // `defaultUrls` serve when no --service is given.
    explicit Dispatcher(ServiceUrls defaultUrls) : m_defaultUrls(std::move(defaultUrls)) {}

    // The certificate authorities for https:// services when no --ca is given (empty: the
    // system's store).
    void setDefaultCaFile(QString file) { m_defaultCaFile = std::move(file); }

    void add(std::unique_ptr<Command> command) { m_commands.push_back(std::move(command)); }

    // Runs the command line (without the program name); returns the exit status:
    // the command's, 0 for --help, 64 for a usage error.
    int run(const QStringList& args);

private:
    QString overview() const;
    static QString usage(const Command& command);
    static QString help(const Command& command);

    ServiceUrls m_defaultUrls;
    QString m_defaultCaFile;
    std::vector<std::unique_ptr<Command>> m_commands;
};
