// The payload check: the CRC-32 against zlib's known values, and the
// start-up rule on installers cut short, changed, grown and bare.
#include "payload/crc32.hpp"
#include "payload/payloadcheck.hpp"

#include "tests/unit/tempdir.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

using namespace payload;
using testing_support::TempDir;

TEST(Crc32, MatchesZlib) {
    // zlib: crc32(0, "123456789", 9) == 0xCBF43926; of nothing, 0.
    EXPECT_EQ(Crc32(0, "123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32(0, "", 0), 0u);
    EXPECT_EQ(Crc32(0, "The quick brown fox jumps over the lazy dog", 43), 0x414FA339u);
    // Any split gives the same CRC as one call, also where it leaves a
    // piece shorter than the eight-byte step.
    std::string data;
    for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(i * 7919 % 251));
    const std::uint32_t whole = Crc32(0, data.data(), data.size());
    for (std::size_t cut : {1u, 3u, 8u, 13u, 999u})
        EXPECT_EQ(Crc32(Crc32(0, data.data(), cut), data.data() + cut, data.size() - cut), whole) << cut;
}

namespace {

struct CheckedInstaller {
    std::string bytes;
    tpayloadcheck check{};
};

// A stand-in stub (no PE header: the payload ends at the file's end) and
// a payload of `length` bytes with its record (an older builder's, over the
// payload alone; the whole-file record is covered in payloadend_test).
CheckedInstaller Make(std::size_t stub, std::size_t length) {
    CheckedInstaller i;
    i.bytes.assign(stub, 'S');
    for (std::size_t k = 0; k < length; ++k) i.bytes.push_back(static_cast<char>(k * 31 + 7));
    std::memcpy(i.check.mark, kPayloadOnlyCheckMark, sizeof i.check.mark);
    i.check.stubsize = static_cast<std::uint32_t>(stub);
    i.check.payloadlength = static_cast<std::uint32_t>(length);
    i.check.crc32 = Crc32(0, i.bytes.data() + stub, length);
    return i;
}

bool Intact(const TempDir& dir, const std::string& bytes, const tpayloadcheck& check) {
    const auto path = dir.path() / "setup.exe";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    setuputil::ScopedFileAccess file;
    EXPECT_TRUE(setuputil::OpenForRead(file.file, path.u16string()));
    return PayloadIntact(file.file, check);
}

}  // namespace

TEST(PayloadCheck, RefusesCutChangedAndGrownPayloads) {
    TempDir dir;
    // More than one read block, so the blockwise CRC is covered too.
    const CheckedInstaller good = Make(5000, (1u << 20) + 12345);
    EXPECT_TRUE(Intact(dir, good.bytes, good.check));

    std::string changed = good.bytes;
    changed[5000 + 700000] ^= 0x01;
    EXPECT_FALSE(Intact(dir, changed, good.check));
    EXPECT_FALSE(Intact(dir, good.bytes.substr(0, good.bytes.size() - 1), good.check));
    EXPECT_FALSE(Intact(dir, good.bytes.substr(0, 5000 + 10), good.check));
    EXPECT_FALSE(Intact(dir, good.bytes + "x", good.check));
    // A file that ends where the stub does is the uninstaller copy: left to
    // the trailer's own message.
    EXPECT_TRUE(Intact(dir, good.bytes.substr(0, 5000), good.check));
}

TEST(PayloadCheck, ParsesOnlyTheWholeMarkedRecord) {
    tpayloadcheck record{};
    std::memcpy(record.mark, kPayloadCheckMark, sizeof record.mark);
    record.crc32 = 0x12345678;
    tpayloadcheck parsed{};
    ASSERT_TRUE(ParsePayloadCheck(&record, sizeof record, parsed));
    EXPECT_EQ(parsed.crc32, 0x12345678u);
    EXPECT_FALSE(ParsePayloadCheck(&record, sizeof record - 1, parsed));
    EXPECT_FALSE(ParsePayloadCheck(nullptr, sizeof record, parsed));
    record.mark[3] = '9';
    EXPECT_FALSE(ParsePayloadCheck(&record, sizeof record, parsed));
    // The older record is its first 16 bytes, and only those.
    std::memcpy(record.mark, kPayloadOnlyCheckMark, sizeof record.mark);
    ASSERT_TRUE(ParsePayloadCheck(&record, kPayloadOnlyCheckSize, parsed));
    EXPECT_EQ(parsed.crc32, 0x12345678u);
    EXPECT_FALSE(ParsePayloadCheck(&record, sizeof record, parsed));
    std::memcpy(record.mark, kPayloadCheckMark, sizeof record.mark);
    EXPECT_FALSE(ParsePayloadCheck(&record, kPayloadOnlyCheckSize, parsed));
}
