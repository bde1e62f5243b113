#include "exchange/scratch_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "support/fake_files.h"

namespace korvel {
namespace {

using test::FakeFileSystem;

TEST(ScratchFile, RecordsAndBytesPassThroughTheFileInTheRuntimeFolder) {
    FakeFileSystem files;
    const std::string path = scratchFilePath(files);
    EXPECT_EQ(path, "/run/user/1000/XCV.TMP");
    files.byteFiles[path] = std::vector<std::uint8_t>(64, 0xAB);
    ScratchFile scratch;
    ASSERT_EQ(scratch.open(files, path), FileError::None);
    EXPECT_EQ(files.byteFiles[path], std::vector<std::uint8_t>(64, 0xAB));  // kept when opened

    const SntpPacket packet = requestPacket({0xC4040DC0, 0x80000000});
    EXPECT_EQ(scratch.recordToBytes(packet), hostBytes(packet));
    PacketBytes reply = hostBytes(packet);
    reply[0] = 0x24;
    const auto back = scratch.bytesToRecord(reply);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->liVnMode, 0x24);
    EXPECT_EQ(transmitOf(*back), (NtpTimestamp{0xC4040DC0, 0x80000000}));
    // Between uses the file holds the last record that passed through it.
    EXPECT_TRUE(std::equal(reply.begin(), reply.end(), files.byteFiles[path].begin()));
}

TEST(ScratchFile, ConversionFailsWhenClosedOrWhenTheFileFails) {
    FakeFileSystem files;
    ScratchFile scratch;
    EXPECT_FALSE(scratch.recordToBytes(SntpPacket{}));
    EXPECT_EQ(scratch.open(files, "/missing/XCV.TMP"), FileError::PathNotFound);
    EXPECT_FALSE(scratch.isOpen());

    ASSERT_EQ(scratch.open(files, scratchFilePath(files)), FileError::None);
    files.failByteAccess = true;
    EXPECT_FALSE(scratch.recordToBytes(SntpPacket{}));
    EXPECT_FALSE(scratch.bytesToRecord(PacketBytes{}));
    files.failByteAccess = false;
    scratch.close();
    EXPECT_FALSE(scratch.bytesToRecord(PacketBytes{}));
}

}  // namespace
}  // namespace korvel
