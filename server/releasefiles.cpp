#include "releasefiles.h"

#include "textutil.h"

#include "webresponse.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

bool isPlainFileName(const std::string& name) {
    if (name.empty() || name.front() == '.' || name.size() > 255)
        return false;
    for (char c : name) {
        if (c == '/' || c == '\\' || c == '\0')
            return false;
    }
    return true;
}

void notFound(WebResponse& res) {
    TextUtil::answerText(res, 404, "Not found");
}

} // namespace

void ReleaseFiles::serve(WebResponse& res, const std::string& fileName) const {
    if (folder_.empty() || !isPlainFileName(fileName))
        return notFound(res);
    const std::filesystem::path path = std::filesystem::path(folder_) / fileName;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return notFound(res);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return notFound(res);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return notFound(res);
    std::string type = "application/octet-stream";
    if (TextUtil::endsWith(fileName, ".xml"))
        type = "application/xml";
    else if (TextUtil::endsWith(fileName, ".zip"))
        type = "application/zip";
    res.status = 200;
    res.set_content(bytes.str(), type);
}
