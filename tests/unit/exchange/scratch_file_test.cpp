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
    const std::string path = "/run/user/1000/XCV.TMP";
    files.byteFiles[path] = std::vector<std::uint8_t>(64, 0xAB);
    ScratchFile scratch;
    ASSERT_EQ(openScratchFile(scratch, files, kScratchFileName), "");
    EXPECT_EQ(files.byteFiles[path], std::vector<std::uint8_t>(64, 0xAB));  // kept when opened

    // The record goes through in host order: each word little-endian after the four bytes.
    const auto bytes = scratch.recordToBytes(requestPacket({0xC4040DC0, 0x80000000}));
    ASSERT_TRUE(bytes.has_value());
    const std::vector<std::uint8_t> expected{
        0x23, 1, 0, 0xEE, 0, 0, 0, 0, 0,    0,    0,    0,    0x53, 0x54, 0x43, 0x41,
        0,    0, 0, 0,    0, 0, 0, 0, 0,    0,    0,    0,    0,    0,    0,    0,
        0,    0, 0, 0,    0, 0, 0, 0, 0xC0, 0x0D, 0x04, 0xC4, 0,    0,    0,    0x80};
    EXPECT_TRUE(std::equal(bytes->begin(), bytes->end(), expected.begin()));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), files.byteFiles[path].begin()));
    const SntpPacket back = scratch.bytesToRecord(*bytes).value();
    EXPECT_EQ(std::tuple(back.referenceId, transmitOf(back)),
              std::tuple(0x41435453U, NtpTimestamp{0xC4040DC0, 0x80000000}));
}

}  // namespace
}  // namespace korvel
