#include "serviceoptions.h"

namespace {

// Splits "LOGIN:VALUE" at the first colon; both halves must be non-empty.
bool splitPair(const std::string& text, std::pair<std::string, std::string>& out) {
    const auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        return false;
    out = {text.substr(0, colon), text.substr(colon + 1)};
    return true;
}

bool parsePort(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5)
        return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value > 65535)
        return false;
    port = value;
    return true;
}

} // namespace

bool ServiceOptions::parse(const std::vector<std::string>& arguments, std::string& error) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h") {
            help = true;
            return true;
        }
        const bool takesValue = option == "--host" || option == "--port" || option == "--data" ||
                                option == "--user" || option == "--token" || option == "--releases";
        if (!takesValue) {
            error = "unknown option: " + option;
            return false;
        }
        if (i + 1 >= arguments.size()) {
            error = "missing value after " + option;
            return false;
        }
        const std::string& value = arguments[++i];
        if (option == "--host") {
            if (value.empty()) {
                error = "--host needs an address";
                return false;
            }
            host = value;
        } else if (option == "--port") {
            if (!parsePort(value, port)) {
                error = "--port needs a number from 0 to 65535, not \"" + value + "\"";
                return false;
            }
        } else if (option == "--data") {
            dataDir = value;
        } else if (option == "--releases") {
            releasesDir = value;
        } else {
            std::pair<std::string, std::string> pair;
            if (!splitPair(value, pair)) {
                // The value may hold a password or a token: never repeat it.
                error = option + " needs LOGIN:" + (option == "--user" ? "PASSWORD" : "TOKEN");
                return false;
            }
            (option == "--user" ? users : tokens).push_back(std::move(pair));
        }
    }
    if (dataDir.empty()) {
        error = "--data DIR is required";
        return false;
    }
    return true;
}

std::string ServiceOptions::usage() {
    return "Usage: pikto-service --data DIR [options]\n"
           "Stand-in photo service for Ovrana.Pikto on loopback.\n"
           "\n"
           "  --host H               address to listen on (default 127.0.0.1)\n"
           "  --port N               port to listen on (default 8480; 0 picks a free port)\n"
           "  --data DIR             folder of the database and the photos (kept across runs)\n"
           "  --user LOGIN:PASSWORD  add an account or change its password (repeatable)\n"
           "  --token LOGIN:TOKEN    issue a token to an account (repeatable)\n"
           "  --releases DIR         folder of versions.xml and the release archives\n"
           "  --help                 show this text\n"
           "\n"
           "When ready it prints \"pikto-service listening on http://HOST:PORT\".\n";
}
