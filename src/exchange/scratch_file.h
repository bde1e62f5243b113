#pragma once

#include <memory>
#include <optional>
#include <string>

#include "exchange/sntp_packet.h"
#include "platform/files.h"

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

inline constexpr const char* kScratchFileName = "XCV.TMP";

// Opens the scratch file of that name in the user's private runtime folder. Returns the
// message that says why it cannot be used, empty when it is open.
std::string openScratchFile(ScratchFile& file, FileSystem& files, const std::string& name);

}  // namespace korvel
