#pragma once

#include <string>

// Validation of the website's pages with HTML Tidy.
class HtmlCheck {
public:
    // Tidy's report of errors in `html` (one per line); empty when it finds none.
    // A missing tidy is reported as an error, so the check cannot pass unseen.
    static std::string errors(const std::string& html);
    // Tidy's warnings as well as its errors.
    static std::string problems(const std::string& html);
};
