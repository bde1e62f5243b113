#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/files.h"
#include "sntp/rate_holds.h"
#include "sntp/sntp_packet.h"

namespace korvel {

// In the private runtime folder: the servers held after a RATE, for every run of this user.
inline constexpr const char* kRateHoldFileName = "RATE-HOLD.TMP";

// The servers held now. A hold that ends more than kRateHoldSec from now (the clock was set
// back) is shortened in the file as well, and ended holds leave it. None without a private
// runtime folder.
RateHolds heldServers(FileSystem& files, double nowNtpSec);
// Holds the server for kRateHoldSec from now, keeping the holds other runs stored meanwhile.
void holdServer(FileSystem& files, const std::string& server, double nowNtpSec);

// The small byte file through which a packet record becomes bytes and bytes a record.
// Only its first 48 bytes are used; it stays open for the whole run.
class ScratchFile {
public:
    FileError open(FileSystem& files, const std::string& path);
    void close();
    bool isOpen() const { return m_file != nullptr; }

    // nullopt when the file is not open or an access fails.
    std::optional<PacketBytes> recordToBytes(const SntpPacket& packet);
    std::optional<SntpPacket> bytesToRecord(const PacketBytes& bytes);

private:
    std::unique_ptr<ByteFile> m_file;
};

// The append-only record of measurements and corrections. The channel stays open from the
// first good apply with logging ticked to the end of the program.
class TimeSyncLog {
public:
    // Opening the path already open keeps the channel; another path replaces it only once the
    // new file is open, so a bad path never loses a working log.
    FileError open(FileSystem& files, const std::string& path);
    void close();
    bool isOpen() const { return m_file != nullptr; }
    // False when the line did not reach the file.
    bool append(const std::string& line);

private:
    std::unique_ptr<TextAppender> m_file;
    std::string m_path;
};

}  // namespace korvel
