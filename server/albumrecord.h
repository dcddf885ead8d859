#pragma once

#include <cstdint>
#include <string>

// One album as the service stores it.
struct AlbumRecord {
    std::int64_t id = 0;
    std::string login;
    std::string title;
    std::string summary;
    // Empty when the album is not protected.
    std::string password;
    // True for the account's "Неразобранное" album, the target of album "-1" uploads.
    bool unsorted = false;
    std::int64_t imageCount = 0;
    std::int64_t updated = 0; // seconds since the epoch
    // How often a password was set on the album (the same one again counts too).
    std::int64_t passwordChanges = 0;
};
