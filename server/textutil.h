#pragma once

#include <string>

struct WebResponse;

// Small text helpers shared by the handlers of the stand-in service.
class TextUtil {
public:
    // The path with every run of slashes collapsed into one ("//api//x" -> "/api/x").
    static std::string collapseSlashes(const std::string& path);
    // Text safe inside HTML element content and double-quoted attributes.
    static std::string htmlEscape(const std::string& text);
    // Lower-case hexadecimal text of `bytes` bytes from the system's random source;
    // empty when the source fails.
    static std::string randomHex(std::size_t bytes);
    // True when `text` is a non-empty run of decimal digits that fits a positive 63-bit id.
    static bool isDecimalId(const std::string& text);
    // True when `a` and `b` are equal, compared in time independent of where they differ
    // (for secrets a visitor sends).
    static bool sameText(const std::string& a, const std::string& b);
    // True when `text` ends with `suffix` (always for an empty suffix).
    static bool endsWith(const std::string& text, const std::string& suffix);
    // The text with every byte sequence that is not UTF-8 replaced by U+FFFD, so a page
    // declared UTF-8 shows it as such.
    static std::string validUtf8(const std::string& text);
    // The text without control characters (below 0x20, and 0x7F).
    static std::string withoutControls(const std::string& text);
    // Sets the status and a plain-text body of `text` and a line end.
    static void answerText(WebResponse& res, int status, const std::string& text);
};
