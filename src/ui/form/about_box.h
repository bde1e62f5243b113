#pragma once

#include <string>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/user_feedback.h"

namespace korvel {

// The About box frmAbout: fixed captions; its one action starts the system-information tool.
namespace about {
inline constexpr const char* kTitle = "关于 HORLO";
inline constexpr const char* lblTitle = "SNTP网络时间服务客户端";
inline constexpr const char* lblVersion = "版本  1.00 ";
inline constexpr const char* Label1 = "KORVEL 项目  korvel@example.org";
inline constexpr const char* lblDescription = "与MERIDORSNTP时间服务器保持时间同步。";
inline constexpr const char* cmdOK = "确定";
inline constexpr const char* cmdSysInfo = "系统信息";
inline constexpr const char* kNoSysInfo = "此时系统信息无效";
}  // namespace about

// What StartSysInfo reaches the system through; all owned by the caller.
struct SysInfoServices {
    Registry& registry;
    FileSystem& files;
    ProgramLauncher& launcher;
    MessageBox& messageBox;
};

// Reads a value: true with its text when it could be read. A string gives its text, a
// 32-bit number its decimal text, any other type leaves valueText as it was. On failure
// valueText is emptied.
bool GetKeyValue(Registry& registry, RegistryRoot root, const std::string& keyName,
                 const std::string& valueName, std::string& valueText);

// Finds the system-information tool through the registry and starts it without waiting; shows
// "此时系统信息无效" when there is none or it cannot be started. The cmdSysInfo click.
void StartSysInfo(const SysInfoServices& services);

}  // namespace korvel
