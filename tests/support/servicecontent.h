#pragma once

#include <httplib.h>

#include <map>
#include <string>

// Albums and photos put into a running pikto-service through its API, as the plug-in puts
// them, for tests of what the website then shows.
class ServiceContent {
public:
    // The service on 127.0.0.1:`port`, acting for the account of `token`.
    ServiceContent(int port, std::string login, std::string token);

    // Creates an album; its id, empty when the service refused.
    std::string createAlbum(const std::string& title, const std::string& password = {},
                            const std::string& summary = {});
    // Uploads `bytes` as `fileName` into `album` with the form `fields` (access_type,
    // disable_comments, xxx, hide_orig); the photo's id, empty when the service refused.
    std::string upload(const std::string& album, const std::string& fileName,
                       const std::string& bytes,
                       const std::map<std::string, std::string>& fields = {});

    // Text safe inside an XML element.
    static std::string xmlEscape(const std::string& text);

private:
    httplib::Client client_;
    std::string login_;
    std::string token_;
};
