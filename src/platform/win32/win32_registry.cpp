#include "platform/win32/win32_registry.h"

#include <windows.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace korvel {

namespace {

// Reading is all the look-up does; a standard user is refused write access to these keys.
constexpr REGSAM kKeyAccess = KEY_READ;

HKEY handleOf(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::LocalMachine:
            return HKEY_LOCAL_MACHINE;
    }
    return HKEY_LOCAL_MACHINE;
}

// Text in the system's code page as UTF-8; a terminating zero stays in place.
std::vector<std::uint8_t> utf8OfAnsi(const std::vector<std::uint8_t>& ansi) {
    if (ansi.empty()) {
        return {};
    }
    const auto* source = reinterpret_cast<const char*>(ansi.data());
    const int sourceSize = static_cast<int>(ansi.size());
    const int wideSize = MultiByteToWideChar(CP_ACP, 0, source, sourceSize, nullptr, 0);
    std::vector<wchar_t> wide(static_cast<std::size_t>(wideSize));
    MultiByteToWideChar(CP_ACP, 0, source, sourceSize, wide.data(), wideSize);
    const int utf8Size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
    std::vector<std::uint8_t> utf8(static_cast<std::size_t>(utf8Size));
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, reinterpret_cast<char*>(utf8.data()),
                        utf8Size, nullptr, nullptr);
    return utf8;
}

}  // namespace

std::optional<RegistryValue> Win32Registry::readValue(RegistryRoot root, const std::string& keyName,
                                                      const std::string& valueName) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(handleOf(root), keyName.c_str(), 0, kKeyAccess, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> buffer(kValueBufferBytes);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(buffer.size());
    const LONG result =
        RegQueryValueExA(key, valueName.c_str(), nullptr, &type, buffer.data(), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        return std::nullopt;
    }
    buffer.resize(size);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        buffer = utf8OfAnsi(buffer);
    }
    return RegistryValue{type, std::move(buffer)};
}

}  // namespace korvel
