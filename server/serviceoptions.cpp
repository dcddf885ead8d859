#include "serviceoptions.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

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

bool parseCount(const std::string& text, long long low, long long high, long long& out) {
    if (text.empty() || text.size() > 9)
        return false;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high)
        return false;
    out = value;
    return true;
}

// Adds the "LOGIN:PASSWORD" lines of `text`; `origin` names it in an error.
bool addUserLines(const std::string& text, const std::string& origin,
                  std::vector<std::pair<std::string, std::string>>& users, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::pair<std::string, std::string> pair;
        if (!splitPair(line, pair)) {
            // The line may hold a password: name it by its number only.
            error = origin + ", line " + std::to_string(number) + ": needs LOGIN:PASSWORD";
            return false;
        }
        users.push_back(std::move(pair));
    }
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
        if (option == "--legacy-open-pages") {
            legacyOpenPages = true;
            continue;
        }
        if (option == "--fault-switch") {
            faultSwitch = true;
            continue;
        }
        const bool takesValue =
            option == "--host" || option == "--port" || option == "--data" || option == "--user" ||
            option == "--token" || option == "--releases" || option == "--users-file" ||
            option == "--sign-in-limit" || option == "--token-days" || option == "--tls-cert" ||
            option == "--tls-key" || option == "--body-seconds" || option == "--body-min-rate" ||
            option == "--connections-per-address";
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
        } else if (option == "--users-file") {
            usersFile = value;
        } else if (option == "--tls-cert") {
            tlsCert = value;
        } else if (option == "--tls-key") {
            tlsKey = value;
        } else if (option == "--sign-in-limit") {
            long long limit = 0;
            if (!parseCount(value, 0, 1000000, limit)) {
                error = "--sign-in-limit needs a number from 0 to 1000000";
                return false;
            }
            signInLimit = static_cast<std::size_t>(limit);
        } else if (option == "--body-seconds") {
            long long seconds = 0;
            if (!parseCount(value, 1, 86400, seconds)) {
                error = "--body-seconds needs a number of seconds from 1 to 86400";
                return false;
            }
            bodySeconds = static_cast<int>(seconds);
        } else if (option == "--body-min-rate") {
            long long rate = 0;
            if (!parseCount(value, 0, 1LL << 30, rate)) {
                error = "--body-min-rate needs a number of bytes a second from 0 to 1073741824";
                return false;
            }
            bodyMinRate = static_cast<std::size_t>(rate);
        } else if (option == "--connections-per-address") {
            long long count = 0;
            if (!parseCount(value, 1, 100000, count)) {
                error = "--connections-per-address needs a number from 1 to 100000";
                return false;
            }
            connectionsPerAddress = static_cast<std::size_t>(count);
        } else if (option == "--token-days") {
            long long days = 0;
            if (!parseCount(value, 1, 36500, days)) {
                error = "--token-days needs a number of days from 1 to 36500";
                return false;
            }
            tokenDays = static_cast<int>(days);
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
    if (tlsCert.empty() != tlsKey.empty()) {
        error = "--tls-cert and --tls-key go together";
        return false;
    }
    return true;
}

bool ServiceOptions::readUsers(const char* environment, std::string& error) {
    if (!usersFile.empty()) {
        struct stat info {};
        if (::stat(usersFile.c_str(), &info) != 0) {
            error = "cannot read " + usersFile + ": " + std::strerror(errno);
            return false;
        }
        if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
            error = usersFile + " may be read or changed by others than its owner; "
                                "make it private first (chmod 600)";
            return false;
        }
        std::ifstream in(usersFile, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in || in.bad()) {
            error = "cannot read " + usersFile;
            return false;
        }
        if (!addUserLines(text.str(), usersFile, users, error))
            return false;
    }
    if (environment && !addUserLines(environment, "PIKTO_SERVICE_USERS", users, error))
        return false;
    return true;
}

std::string ServiceOptions::usage() {
    return "Usage: pikto-service --data DIR [options]\n"
           "Stand-in photo service for Ovrana.Pikto on loopback.\n"
           "\n"
           "  --host H               address to listen on (default 127.0.0.1)\n"
           "  --port N               port to listen on (default 8480; 0 picks a free port)\n"
           "  --data DIR             folder of the database and the photos (kept across runs)\n"
           "  --users-file FILE      accounts to add or update, one LOGIN:PASSWORD a line; the\n"
           "                         file must be readable by its owner only\n"
           "  --user LOGIN:PASSWORD  add an account (repeatable). For quick tests only: every\n"
           "                         local user sees the password through ps\n"
           "  --token LOGIN:TOKEN    issue a token to an account (repeatable). For tests only:\n"
           "                         every local user sees the token through ps\n"
           "  --token-days N         days a token stays good (default 30)\n"
           "  --sign-in-limit N      wrong passwords a minute per login from one address,\n"
           "                         and per address (default 10; 0: no limit); see README\n"
           "  --releases DIR         folder of versions.xml and the release archives\n"
           "  --tls-cert FILE        serve HTTPS with this certificate chain (PEM) and ...\n"
           "  --tls-key FILE         ... this private key (PEM)\n"
           "  --body-seconds N       seconds a request body may take (default 600)\n"
           "  --body-min-rate N      bytes a second a body must arrive at, after its first\n"
           "                         3 seconds (default 2048; 0: any rate)\n"
           "  --connections-per-address N\n"
           "                         connections open at once from one address (default 4000)\n"
           "  --legacy-open-pages    show every photo to every visitor at its sequential\n"
           "                         address, as before access levels were checked (tests)\n"
           "  --fault-switch         answer the test controls /_fault/ and /_requests/ on\n"
           "                         loopback (tests only; off by default)\n"
           "  --help                 show this text\n"
           "\n"
           "PIKTO_SERVICE_USERS in the environment may hold accounts as --users-file does.\n"
           "\n"
           "When ready it prints \"pikto-service listening on http://HOST:PORT\" (https with "
           "TLS).\n";
}
