#pragma once

#include <string>

// A check of an XML body's nesting before any tree is built from it: building a DOM of a
// deeply nested document costs time that grows with the square of its depth.
class XmlDepth {
public:
    static constexpr int kLimit = 64;

    // True when no element of `text` lies deeper than `limit` levels (the root is level 1).
    // Reads the text once, without building anything, and stops at the first element too
    // deep; text that is not well-formed is left for the real parser to refuse.
    static bool within(const std::string& text, int limit = kLimit);
};
