#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvel {

enum class RegistryRoot { LocalMachine };

// Value types as the registry numbers them.
inline constexpr std::uint32_t kRegString = 1;
inline constexpr std::uint32_t kRegExpandString = 2;
inline constexpr std::uint32_t kRegNumber = 4;  // 32 bits, little-endian

// What a value read gives: its type and its bytes as stored, a string's terminating zero
// included when the store keeps one. Strings are UTF-8.
struct RegistryValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// Read-only access to the registry of system settings.
class Registry {
public:
    // Larger values are not read.
    static constexpr std::size_t kValueBufferBytes = 1024;

    virtual ~Registry() = default;
    // Opens the key under the root for reading (KEY_READ), reads the named value
    // into a buffer of kValueBufferBytes and closes the key again. nullopt when the key cannot
    // be opened or the value cannot be read.
    virtual std::optional<RegistryValue> readValue(RegistryRoot root, const std::string& keyName,
                                                   const std::string& valueName) = 0;
};

// Starting another program.
class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    // Starts the program file at path, without arguments, in a normal window that takes the
    // focus, and returns without waiting for it. False when it could not be started.
    virtual bool start(const std::string& path) = 0;
};

}  // namespace korvel
