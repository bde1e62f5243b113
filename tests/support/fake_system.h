#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"
#include "platform/system_events.h"

namespace korvel::test {

// Values by key and value name under HKEY_LOCAL_MACHINE.
class FakeRegistry final : public Registry {
public:
    std::optional<RegistryValue> readValue(RegistryRoot root, const std::string& keyName,
                                           const std::string& valueName) override {
        const auto found = values.find({keyName, valueName});
        if (root != RegistryRoot::LocalMachine || found == values.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    // A string value as the registry stores it, with its terminating zero.
    void setString(const std::string& keyName, const std::string& valueName,
                   const std::string& text) {
        RegistryValue value{kRegString, {text.begin(), text.end()}};
        value.data.push_back(0);
        values[{keyName, valueName}] = value;
    }

    std::map<std::pair<std::string, std::string>, RegistryValue> values;
};

// Records what it is asked to start; an empty path never starts.
class FakeLauncher final : public ProgramLauncher {
public:
    bool start(const std::string& path) override {
        started.push_back(path);
        return startWorks && !path.empty();
    }
    std::vector<std::string> started;
    bool startWorks = true;
};

// The program's handler, for the test to call as the system would.
class FakeSystemEvents final : public SystemEventWatch {
public:
    void setHandler(std::function<void(SystemEvent)> given) override { handler = std::move(given); }
    std::function<void(SystemEvent)> handler;
};

}  // namespace korvel::test
