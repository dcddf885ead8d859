#pragma once

#include <string>

// One armed fault of the test switch: what happens to the next matching requests.
struct Fault {
    enum class Action { Status, Drop, Stall, Cut };

    // Compared with the request path after repeated slashes are collapsed.
    std::string pathPrefix;
    Action action = Action::Status;
    // How many more matching requests this fault affects.
    int remaining = 1;
    // Status: the answer's status, body and content type.
    int status = 500;
    std::string body;
    std::string contentType = "text/plain";
    // Stall: how long the answer is held before the connection is closed.
    int seconds = 4;
    // Cut: request body bytes read before the connection is closed.
    std::size_t after = 1024;
};
