#pragma once

#include <cstdint>
#include <string>

// One stored photo; its bytes are the file "<data>/photos/<id>.jpg", its web address
// "/photos/<id>-<secret>.jpg".
struct PhotoRecord {
    std::int64_t id = 0;
    std::int64_t albumId = 0;
    std::string fileName;
    // "public", "private", "friends", or empty when the upload named none.
    std::string access;
    bool commentsDisabled = false;
    bool adultsOnly = false;
    bool originalHidden = false;
    std::string channel;
    std::string appPlatform;
    std::string appVersion;
    std::int64_t size = 0;
    std::int64_t created = 0; // seconds since the epoch
    // The random part of the photo's web address; made by the database on insert.
    std::string secret;
};
