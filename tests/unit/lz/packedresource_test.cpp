// The stub's packed resources: the side picture packed by the build's
// packer expands to exactly the bitmap's bytes, and a damaged packed
// resource expands to nothing rather than to a wrong picture.
#include "payload/packedresource.hpp"
#include "tools/packres/packresource.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes Pack(const Bytes& data) {
    Bytes packed;
    std::string error;
    EXPECT_TRUE(packres::PackResource(data, packed, error)) << error;
    return packed;
}

TEST(PackedResource, SidePictureExpandsToTheSameBitmap) {
    const Bytes bmp = ReadFile(LZ_TEST_SOURCE_DIR "/setup/art/sidepicture.bmp");
    ASSERT_EQ(bmp.size(), 135654u);
    const Bytes packed = Pack(bmp);
    EXPECT_LT(packed.size(), bmp.size() / 2) << "the picture should pack well";
    EXPECT_EQ(payload::ExpandPacked(packed.data(), packed.size()), bmp);
}

TEST(PackedResource, SizesAroundThePieceLimitAndIncompressibleData) {
    std::mt19937 random(7);
    for (std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 200000u}) {
        Bytes text(size), noise(size);
        for (std::size_t i = 0; i < size; ++i) {
            text[i] = static_cast<std::uint8_t>("setup picture "[i % 14]);
            noise[i] = static_cast<std::uint8_t>(random());
        }
        for (const Bytes* data : {&text, &noise}) {
            const Bytes packed = Pack(*data);
            EXPECT_EQ(payload::ExpandPacked(packed.data(), packed.size()), *data) << size;
        }
    }
}

TEST(PackedResource, DamageExpandsToNothingOrTheRightSize) {
    const Bytes bmp = ReadFile(LZ_TEST_SOURCE_DIR "/setup/art/sidepicture.bmp");
    const Bytes packed = Pack(bmp);
    // Cut short anywhere: never a picture.
    for (std::size_t cut = 0; cut < packed.size(); cut += 97)
        EXPECT_TRUE(payload::ExpandPacked(packed.data(), cut).empty()) << cut;
    // A wrong mark or a wrong size is refused.
    Bytes bad = packed;
    bad[0] = 'X';
    EXPECT_TRUE(payload::ExpandPacked(bad.data(), bad.size()).empty());
    bad = packed;
    bad[4] ^= 1;
    EXPECT_TRUE(payload::ExpandPacked(bad.data(), bad.size()).empty());
    // Flipped bytes in the chunks: the result is empty or of the header's size.
    for (std::size_t at = payload::kPackedHeaderSize; at < packed.size(); at += 31) {
        bad = packed;
        bad[at] ^= 0x41;
        const Bytes out = payload::ExpandPacked(bad.data(), bad.size());
        EXPECT_TRUE(out.empty() || out.size() == bmp.size()) << at;
    }
}

}  // namespace
