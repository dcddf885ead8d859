#include "multipartform.h"

#include "memorystream.h"
#include "textutil.h"

namespace {

// The boundary parameter of a multipart content type, unquoted; empty when missing.
std::string boundaryOf(const std::string& contentType) {
    const std::string key = "boundary=";
    const auto at = contentType.find(key);
    if (at == std::string::npos)
        return {};
    std::string value = contentType.substr(at + key.size());
    const auto end = value.find(';');
    if (end != std::string::npos)
        value.resize(end);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return value;
}

} // namespace

MultipartForm::MultipartForm() {
    Post(".*", [this](const httplib::Request& req, httplib::Response&) { parts_ = req.files; });
}

std::optional<httplib::MultipartFormDataMap> MultipartForm::parse(const std::string& contentType,
                                                                  std::string body) {
    const std::string boundary = boundaryOf(contentType);
    if (boundary.empty())
        return std::nullopt;
    // The form must end in its closing delimiter, with or without a line break after it.
    const std::string closing = "--" + boundary + "--";
    if (TextUtil::endsWith(body, closing))
        body += "\r\n";
    else if (!TextUtil::endsWith(body, closing + "\r\n"))
        return std::nullopt;

    std::string request = "POST /form HTTP/1.1\r\nHost: localhost\r\nContent-Type: " + contentType +
                          "\r\nContent-Length: " + std::to_string(body.size()) +
                          "\r\nConnection: close\r\n\r\n";
    request += body;
    body.clear();
    body.shrink_to_fit();

    MultipartForm form;
    MemoryStream stream(std::move(request));
    bool closed = false;
    form.process_request(stream, true, closed, [](httplib::Request&) {});
    return std::move(form.parts_);
}
