#pragma once

#include <string>
#include <utility>
#include <vector>

// The command line of pikto-service.
class ServiceOptions {
public:
    std::string host = "127.0.0.1";
    int port = 8480; // 0 picks a free port
    std::string dataDir;
    std::string releasesDir;
    std::vector<std::pair<std::string, std::string>> users;  // login, password
    std::vector<std::pair<std::string, std::string>> tokens; // login, token
    bool help = false;

    // Reads the arguments after the program name. Returns false with a message in `error`
    // for an unknown option, a missing or malformed value, or a missing --data.
    bool parse(const std::vector<std::string>& arguments, std::string& error);
    // The text printed by --help.
    static std::string usage();
};
