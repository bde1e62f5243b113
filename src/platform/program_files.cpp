#include "platform/program_files.h"

namespace korvel {

namespace {

RateHolds updateRateHolds(FileSystem& files, double nowNtpSec, const std::string* heldServer) {
    RateHolds holds;
    const std::string folder = files.privateRuntimeFolder();
    if (folder.empty()) {
        return holds;
    }
    files.updateLine(joinPath(folder, kRateHoldFileName),
                     [&](const std::optional<std::string>& line) {
                         holds = parseRateHolds(line.value_or(""), nowNtpSec);
                         if (heldServer != nullptr) {
                             holds[*heldServer] = nowNtpSec + kRateHoldSec;
                         }
                         return formatRateHolds(holds);
                     });
    return holds;
}

}  // namespace

RateHolds heldServers(FileSystem& files, double nowNtpSec) {
    return updateRateHolds(files, nowNtpSec, nullptr);
}

void holdServer(FileSystem& files, const std::string& server, double nowNtpSec) {
    updateRateHolds(files, nowNtpSec, &server);
}

FileError ScratchFile::open(FileSystem& files, const std::string& path) {
    FileError error = FileError::None;
    m_file = files.openByteFile(path, error);
    return m_file ? FileError::None : error;
}

void ScratchFile::close() {
    m_file.reset();
}

std::optional<PacketBytes> ScratchFile::recordToBytes(const SntpPacket& packet) {
    const PacketBytes record = hostBytes(packet);
    PacketBytes bytes{};
    if (!m_file || !m_file->writeAt(0, record) || !m_file->readAt(0, bytes)) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<SntpPacket> ScratchFile::bytesToRecord(const PacketBytes& bytes) {
    PacketBytes record{};
    if (!m_file || !m_file->writeAt(0, bytes) || !m_file->readAt(0, record)) {
        return std::nullopt;
    }
    return packetFromHostBytes(record);
}

FileError TimeSyncLog::open(FileSystem& files, const std::string& path) {
    if (m_file && path == m_path) {
        return FileError::None;
    }
    FileError error = FileError::None;
    auto file = files.openAppend(path, error);
    if (!file) {
        return error;
    }
    m_file = std::move(file);
    m_path = path;
    return FileError::None;
}

void TimeSyncLog::close() {
    m_file.reset();
    m_path.clear();
}

bool TimeSyncLog::append(const std::string& line) {
    return !m_file || m_file->appendLine(line);
}

}  // namespace korvel
