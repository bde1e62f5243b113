#include "exchange/scratch_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/fake_files.h"

namespace korvel {
namespace {

using test::FakeFileSystem;

TEST(ScratchFile, LivesInThePrivateRuntimeFolder) {
    FakeFileSystem files;
    files.runtimeFolderPath = "/run/user/1000";
    EXPECT_EQ(scratchFilePath(files), "/run/user/1000/XCV.TMP");
}

TEST(ScratchFile, RecordBecomesHostOrderBytesAndBytesBecomeARecord) {
    FakeFileSystem files;
    ScratchFile scratch;
    ASSERT_EQ(scratch.open(files, scratchFilePath(files)), FileError::None);

    SntpPacket packet = requestPacket({0xC4040DC0, 0x80000000});
    const auto bytes = scratch.recordToBytes(packet);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, hostBytes(packet));

    PacketBytes reply = hostBytes(packet);
    reply[0] = 0x24;
    const auto back = scratch.bytesToRecord(reply);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->liVnMode, 0x24);
    EXPECT_EQ(transmitOf(*back), (NtpTimestamp{0xC4040DC0, 0x80000000}));
    // Between uses the file holds the last record that passed through it.
    EXPECT_EQ(files.byteFiles.at(scratchFilePath(files)),
              std::vector<std::uint8_t>(reply.begin(), reply.end()));
}

TEST(ScratchFile, ExistingContentIsKeptWhenOpened) {
    FakeFileSystem files;
    const std::string path = scratchFilePath(files);
    files.byteFiles[path] = std::vector<std::uint8_t>(64, 0xAB);
    ScratchFile scratch;
    ASSERT_EQ(scratch.open(files, path), FileError::None);
    EXPECT_EQ(files.byteFiles[path], std::vector<std::uint8_t>(64, 0xAB));
}

TEST(ScratchFile, ConversionFailsWhenClosedOrWhenTheFileFails) {
    FakeFileSystem files;
    ScratchFile scratch;
    EXPECT_FALSE(scratch.recordToBytes(SntpPacket{}).has_value());
    EXPECT_FALSE(scratch.bytesToRecord(PacketBytes{}).has_value());

    EXPECT_EQ(scratch.open(files, "/missing/XCV.TMP"), FileError::PathNotFound);
    EXPECT_FALSE(scratch.isOpen());

    ASSERT_EQ(scratch.open(files, scratchFilePath(files)), FileError::None);
    files.failByteAccess = true;
    EXPECT_FALSE(scratch.recordToBytes(SntpPacket{}).has_value());
    EXPECT_FALSE(scratch.bytesToRecord(PacketBytes{}).has_value());

    files.failByteAccess = false;
    scratch.close();
    EXPECT_FALSE(scratch.isOpen());
    EXPECT_FALSE(scratch.recordToBytes(SntpPacket{}).has_value());
}

}  // namespace
}  // namespace korvel
