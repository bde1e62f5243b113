#pragma once

#include <windows.h>

#include <string>

#include "platform/keeper_state_store.h"

namespace korvel {

// The keeper's state as the file "state" in the scheduled correction's folder
// (%ProgramData%\KORVEL\state, which LOCAL SERVICE may write and users read), its lock and the
// status beside it. The boot is the count Windows keeps of its starts.
class Win32KeeperStore final : public KeeperStateStore {
public:
    explicit Win32KeeperStore(std::string folder);
    ~Win32KeeperStore() override;
    Win32KeeperStore(const Win32KeeperStore&) = delete;
    Win32KeeperStore& operator=(const Win32KeeperStore&) = delete;

    std::string bootId() override;
    std::string hold() override;
    std::optional<std::string> read(std::string& problem) override;
    std::string write(const std::string& text) override;
    std::string writeStatus(const std::string& text) override;

private:
    std::string m_folder;
    HANDLE m_lock = INVALID_HANDLE_VALUE;
};

// Whether a file with this owner may hold the keeper's state: the service's account, SYSTEM,
// Administrators, or the user this process runs as (a copy run with --state by hand).
bool keeperMayOwn(PSID owner);

}  // namespace korvel
