#pragma once

#include "platform/console.h"

namespace korvel {

// The standard output and error of a console program: wide-character writes where they are a
// console window (any code page shows the Chinese texts), UTF-8 bytes into a pipe or a file.
class Win32Console final : public Console {
public:
    void out(const std::string& utf8) override;
    void err(const std::string& utf8) override;
};

}  // namespace korvel
