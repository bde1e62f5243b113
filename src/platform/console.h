#pragma once

#include <string>

namespace korvel {

// Where a command-line tool's texts go; each call writes one whole UTF-8 text and flushes it.
class Console {
public:
    virtual ~Console() = default;
    virtual void out(const std::string& utf8) = 0;
    virtual void err(const std::string& utf8) = 0;
};

}  // namespace korvel
