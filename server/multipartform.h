#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// Parses a multipart/form-data body as it arrives, piece by piece. Fields are kept in memory
// within a limit; a part with a file name is written to a temporary file as it comes, so a
// whole upload is never held in memory.
//
// The form must end in its closing delimiter, with or without one line break after it (the
// plug-in sends none).
class MultipartForm {
public:
    struct Part {
        std::string filename; // empty for a plain field
        std::string content;  // a plain field's value
        std::string file;     // a file part's temporary file (closed once the part ends)
        std::uint64_t size = 0;
    };
    // Makes a new temporary file; returns its descriptor and path, or nullopt on failure.
    using FileMaker = std::function<std::optional<std::pair<int, std::string>>()>;

    static constexpr std::size_t kFieldBytes = 64 * 1024; // all plain fields together
    static constexpr std::size_t kPartHeadBytes = 8 * 1024;
    static constexpr std::size_t kParts = 64;

    MultipartForm(std::string boundary, FileMaker makeFile)
        : delimiter_("\r\n--" + boundary), makeFile_(std::move(makeFile)) {}
    // Removes the temporary files that were not taken.
    ~MultipartForm();
    MultipartForm(const MultipartForm&) = delete;
    MultipartForm& operator=(const MultipartForm&) = delete;

    // The boundary parameter of a multipart content type, unquoted; empty when missing.
    static std::string boundaryOf(const std::string& contentType);

    // Takes the next piece of the body. False once the form is malformed, a limit is
    // crossed or a file cannot be written; later pieces are then ignored.
    bool feed(std::string_view data);
    // True when the body ended in the closing delimiter and nothing went wrong.
    bool complete() const { return state_ == State::Closed && !failed_; }
    // The first finished part of the name; nullptr when there is none.
    const Part* part(const std::string& name) const;
    // Takes a file part's temporary file: the form no longer removes it.
    std::string takeFile(const std::string& name);

private:
    enum class State { Preamble, AfterDelimiter, PartHead, PartBody, Closing, Closed };

    bool step();
    bool startPart(const std::string& head);
    bool emit(std::string_view data);
    bool endPart();

    std::string delimiter_;
    FileMaker makeFile_;
    // The body starts with a delimiter without the line break before it; one is supplied.
    std::string pending_ = "\r\n";
    State state_ = State::Preamble;
    bool failed_ = false;
    std::size_t fieldBytes_ = 0;
    std::size_t partCount_ = 0;
    std::string currentName_;
    Part current_;
    int fd_ = -1;
    std::multimap<std::string, Part> parts_;
};
