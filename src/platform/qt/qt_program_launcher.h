#pragma once

#include "platform/registry.h"

namespace korvel {

// Starts programs as processes of their own that outlive this one.
class QtProgramLauncher final : public ProgramLauncher {
public:
    bool start(const std::string& path) override;
};

}  // namespace korvel
