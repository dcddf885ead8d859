#pragma once

#include <string>

struct WebResponse;

// The versions feed and the release archives, served from one folder given on the
// command line: /photo/mac/iphoto-plugin/<file> is <folder>/<file>.
class ReleaseFiles {
public:
    explicit ReleaseFiles(std::string folder) : folder_(std::move(folder)) {}

    // Answers the file's bytes (versions.xml as application/xml, archives as
    // application/zip, anything else as application/octet-stream). 404 when there is no
    // folder, the file is missing, or the name is not a plain file name (no "..", no
    // slash, no hidden file), so nothing outside the folder is ever served.
    void serve(WebResponse& res, const std::string& fileName) const;

private:
    std::string folder_;
};
