#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/files.h"
#include "sntp/sntp_packet.h"

namespace korvel {

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
