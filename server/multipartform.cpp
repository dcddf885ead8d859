#include "multipartform.h"

#include <unistd.h>

#include <cerrno>
#include <strings.h>
#include <utility>

namespace {

std::string trimmed(std::string text) {
    text.erase(0, text.find_first_not_of(" \t"));
    text.erase(text.find_last_not_of(" \t") + 1);
    return text;
}

// A parameter of a header value ("name" of `form-data; name="x"`), unquoted; nullopt when
// missing.
std::optional<std::string> parameter(const std::string& value, const std::string& key) {
    std::size_t from = value.find(';');
    while (from != std::string::npos) {
        const std::size_t next = value.find(';', from + 1);
        const std::string item = trimmed(value.substr(from + 1, next - from - 1));
        const std::size_t equals = item.find('=');
        if (equals != std::string::npos &&
            strcasecmp(trimmed(item.substr(0, equals)).c_str(), key.c_str()) == 0) {
            std::string found = trimmed(item.substr(equals + 1));
            if (found.size() >= 2 && found.front() == '"' && found.back() == '"')
                found = found.substr(1, found.size() - 2);
            return found;
        }
        from = next;
    }
    return std::nullopt;
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

MultipartForm::~MultipartForm() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!current_.file.empty())
        ::unlink(current_.file.c_str());
    for (const auto& [name, part] : parts_) {
        if (!part.file.empty())
            ::unlink(part.file.c_str());
    }
}

std::string MultipartForm::boundaryOf(const std::string& contentType) {
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

bool MultipartForm::feed(std::string_view data) {
    if (failed_)
        return false;
    pending_.append(data);
    while (!failed_ && step()) {
    }
    return !failed_;
}

// Advances over the pending bytes; true when it should be called again.
bool MultipartForm::step() {
    switch (state_) {
    case State::Preamble:
    case State::PartBody: {
        const std::size_t at = pending_.find(delimiter_);
        if (at == std::string::npos) {
            // All but a possible start of the delimiter belongs to the part.
            const std::size_t keep = std::min(pending_.size(), delimiter_.size() - 1);
            if (state_ == State::PartBody && !emit({pending_.data(), pending_.size() - keep}))
                return false;
            pending_.erase(0, pending_.size() - keep);
            return false;
        }
        if (state_ == State::PartBody && (!emit({pending_.data(), at}) || !endPart()))
            return false;
        pending_.erase(0, at + delimiter_.size());
        state_ = State::AfterDelimiter;
        return true;
    }
    case State::AfterDelimiter:
        if (pending_.size() < 2)
            return false;
        if (pending_.compare(0, 2, "--") == 0) {
            state_ = State::Closing;
        } else if (pending_.compare(0, 2, "\r\n") == 0) {
            state_ = State::PartHead;
        } else {
            failed_ = true;
            return false;
        }
        pending_.erase(0, 2);
        return true;
    case State::PartHead: {
        const std::size_t end = pending_.find("\r\n\r\n");
        if (end == std::string::npos) {
            failed_ = pending_.size() > kPartHeadBytes;
            return false;
        }
        if (end > kPartHeadBytes || !startPart(pending_.substr(0, end + 2))) {
            failed_ = true;
            return false;
        }
        pending_.erase(0, end + 4);
        state_ = State::PartBody;
        return true;
    }
    case State::Closing:
        // Only one line break may follow the closing delimiter.
        if (pending_.size() > 2 || std::string_view("\r\n").substr(0, pending_.size()) != pending_)
            failed_ = true;
        state_ = failed_ ? State::Closing : State::Closed;
        return false;
    case State::Closed:
        if (!pending_.empty() && std::string_view("\r\n").substr(0, pending_.size()) != pending_)
            failed_ = true;
        if (pending_.size() > 2)
            failed_ = true;
        return false;
    }
    return false;
}

bool MultipartForm::startPart(const std::string& head) {
    if (++partCount_ > kParts)
        return false;
    current_ = {};
    currentName_.clear();
    bool named = false;
    std::size_t from = 0;
    while (from < head.size()) {
        const std::size_t end = head.find("\r\n", from);
        const std::string line = head.substr(from, end - from);
        from = end + 2;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos ||
            strcasecmp(trimmed(line.substr(0, colon)).c_str(), "Content-Disposition") != 0)
            continue;
        const std::string value = line.substr(colon + 1);
        const std::optional<std::string> name = parameter(value, "name");
        if (!name || named)
            return false; // no name, or two names for one part
        currentName_ = *name;
        current_.filename = parameter(value, "filename").value_or("");
        named = true;
        if (parameter(value, "filename")) {
            const auto made = makeFile_ ? makeFile_() : std::nullopt;
            if (!made)
                return false;
            fd_ = made->first;
            current_.file = made->second;
        }
    }
    return named;
}

bool MultipartForm::emit(std::string_view data) {
    current_.size += data.size();
    if (fd_ >= 0) {
        if (writeAll(fd_, data))
            return true;
        failed_ = true;
        return false;
    }
    fieldBytes_ += data.size();
    if (fieldBytes_ > kFieldBytes) {
        failed_ = true;
        return false;
    }
    current_.content.append(data);
    return true;
}

bool MultipartForm::endPart() {
    if (fd_ >= 0) {
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        if (!closed) {
            failed_ = true;
            return false;
        }
    }
    parts_.emplace(std::move(currentName_), std::move(current_));
    current_ = {};
    return true;
}

const MultipartForm::Part* MultipartForm::part(const std::string& name) const {
    const auto it = parts_.find(name);
    return it == parts_.end() ? nullptr : &it->second;
}

std::string MultipartForm::takeFile(const std::string& name) {
    const auto it = parts_.find(name);
    if (it == parts_.end())
        return {};
    return std::exchange(it->second.file, std::string());
}
