#pragma once

#include <string>

#include "platform/keeper_state_store.h"

namespace korvel {

// The keeper's state as the file "state" in a folder of its own (the service's state folder,
// or one named on the command line), its lock beside it, and its status in a folder users may
// read (none: no status). The boot is the kernel's boot_id.
class PosixKeeperStore final : public KeeperStateStore {
public:
    PosixKeeperStore(std::string folder, std::string statusFolder,
                     std::string bootIdPath = "/proc/sys/kernel/random/boot_id");
    ~PosixKeeperStore() override;
    PosixKeeperStore(const PosixKeeperStore&) = delete;
    PosixKeeperStore& operator=(const PosixKeeperStore&) = delete;

    std::string bootId() override;
    std::string hold() override;
    std::optional<std::string> read(std::string& problem) override;
    std::string write(const std::string& text) override;
    std::string writeStatus(const std::string& text) override;

private:
    std::string m_folder;
    std::string m_statusFolder;
    std::string m_bootIdPath;
    int m_lock = -1;
};

}  // namespace korvel
