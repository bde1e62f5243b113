#include "exchange/scratch_file.h"

namespace korvel {

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

std::string openScratchFile(ScratchFile& file, FileSystem& files, const std::string& name) {
    const std::string folder = files.privateRuntimeFolder();
    if (folder.empty()) {
        return "临时文件 " + name + " 无法打开: " + files.runtimeFolderProblem();
    }
    const std::string path = joinPath(folder, name);
    return file.open(files, path) == FileError::None ? std::string()
                                                     : "临时文件 " + path + " 无法打开";
}

}  // namespace korvel
