#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// The command line of pikto-service, and the accounts it names in a file or the environment.
class ServiceOptions {
public:
    std::string host = "127.0.0.1";
    int port = 8480; // 0 picks a free port
    std::string dataDir;
    std::string releasesDir;
    std::vector<std::pair<std::string, std::string>> users;  // login, password
    std::vector<std::pair<std::string, std::string>> tokens; // login, token
    std::string usersFile;
    std::size_t signInLimit = 10; // checked passwords per login and per address a minute
    int tokenDays = 30;
    std::string tlsCert;
    std::string tlsKey;
    // A request body must arrive whole within the deadline, and once a few seconds have
    // passed no slower than the minimum rate; else its connection is closed.
    int bodySeconds = 600;
    std::size_t bodyMinRate = 2048; // bytes a second
    // Connections open at once from one address; more are closed as they arrive.
    std::size_t connectionsPerAddress = 4000;
    bool legacyOpenPages = false;
    bool faultSwitch = false; // the loopback test controls answer (tests only)
    bool help = false;

    // Reads the arguments after the program name. Returns false with a message in `error`
    // for an unknown option, a missing or malformed value, or a missing --data.
    bool parse(const std::vector<std::string>& arguments, std::string& error);
    // Adds the accounts of --users-file and of `environment` (the value of
    // PIKTO_SERVICE_USERS, null when unset): lines "LOGIN:PASSWORD"; blank lines and lines
    // starting with "#" are skipped. Refuses (false, with a reason that never repeats a
    // line) a file that others than its owner may read or write, or that cannot be read,
    // and a malformed line.
    bool readUsers(const char* environment, std::string& error);
    // The text printed by --help.
    static std::string usage();
};
