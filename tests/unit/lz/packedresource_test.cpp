// The stub's packed resources, in both forms (LZ chunks, and LZMA where the
// packer has liblzma): the side picture packed by the build's packer
// expands to exactly the bitmap's bytes, and a damaged packed resource
// expands to nothing rather than to a wrong picture.
#include "payload/packedresource.hpp"
#include "tools/packres/packresource.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes Pack(const Bytes& data, bool lzma = false) {
    Bytes packed;
    std::string error;
    EXPECT_TRUE(lzma ? packres::PackResourceLzma(data, packed, error) : packres::PackResource(data, packed, error))
        << error;
    return packed;
}

// The forms this build's packer writes.
std::vector<bool> Forms() {
    if (packres::LzmaPackingSupported()) return {false, true};
    return {false};
}

TEST(PackedResource, SidePictureExpandsToTheSameBitmap) {
    const Bytes bmp = ReadFile(LZ_TEST_SOURCE_DIR "/setup/art/sidepicture.bmp");
    ASSERT_EQ(bmp.size(), 135654u);
    const Bytes packed = Pack(bmp);
    EXPECT_LT(packed.size(), bmp.size() / 2) << "the picture should pack well";
    EXPECT_EQ(payload::ExpandPacked(packed.data(), packed.size()), bmp);
    if (!packres::LzmaPackingSupported()) {
        Bytes none;
        std::string error;
        EXPECT_FALSE(packres::PackResourceLzma(bmp, none, error));
        return;
    }
    const Bytes lzma = Pack(bmp, true);
    EXPECT_EQ(std::memcmp(lzma.data(), payload::kPackedLzmaMark, 4), 0);
    EXPECT_LT(lzma.size(), packed.size() * 2 / 3) << "the LZMA form is the stub's smaller one";
    EXPECT_EQ(payload::ExpandPacked(lzma.data(), lzma.size()), bmp);
}

TEST(PackedResource, SizesAroundThePieceLimitAndIncompressibleData) {
    std::mt19937 random(7);
    for (std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 200000u}) {
        Bytes text(size), noise(size);
        for (std::size_t i = 0; i < size; ++i) {
            text[i] = static_cast<std::uint8_t>("setup picture "[i % 14]);
            noise[i] = static_cast<std::uint8_t>(random());
        }
        for (const Bytes* data : {&text, &noise})
            for (const bool lzma : Forms()) {
                const Bytes packed = Pack(*data, lzma);
                EXPECT_EQ(payload::ExpandPacked(packed.data(), packed.size()), *data) << size << " lzma " << lzma;
            }
    }
}

TEST(PackedResource, DamageExpandsToNothingOrTheRightSize) {
    const Bytes bmp = ReadFile(LZ_TEST_SOURCE_DIR "/setup/art/sidepicture.bmp");
    for (const bool lzma : Forms()) {
        const Bytes packed = Pack(bmp, lzma);
        // Cut short anywhere: never a picture.
        for (std::size_t cut = 0; cut < packed.size(); cut += 97)
            EXPECT_TRUE(payload::ExpandPacked(packed.data(), cut).empty()) << cut << " lzma " << lzma;
        // A wrong mark or a wrong size is refused.
        Bytes bad = packed;
        bad[0] = 'X';
        EXPECT_TRUE(payload::ExpandPacked(bad.data(), bad.size()).empty());
        bad = packed;
        bad[4] ^= 1;
        EXPECT_TRUE(payload::ExpandPacked(bad.data(), bad.size()).empty()) << "lzma " << lzma;
        // Flipped bytes in the chunks or the stream (the properties byte
        // included): the result is empty or of the header's size.
        for (std::size_t at = payload::kPackedHeaderSize; at < packed.size(); at += lzma ? 61 : 31) {
            bad = packed;
            bad[at] ^= 0x41;
            const Bytes out = payload::ExpandPacked(bad.data(), bad.size());
            EXPECT_TRUE(out.empty() || out.size() == bmp.size()) << at << " lzma " << lzma;
        }
    }
}

}  // namespace
