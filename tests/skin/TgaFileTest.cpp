#include "TgaFile.h"
#include "ByteReader.h"
#include "SkinPicture.h"
#include "SkinTestPictures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

std::vector<uint8_t> Header(int width, int height, int depth)
{
    return {0,
            0,
            2,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            static_cast<uint8_t>(width),
            static_cast<uint8_t>(width >> 8),
            static_cast<uint8_t>(height),
            static_cast<uint8_t>(height >> 8),
            static_cast<uint8_t>(depth),
            0};
}

int Load(const std::vector<uint8_t>& bytes, CSkinPicture& picture)
{
    CByteReader stream(bytes.data(), bytes.size());
    return picture.LoadTga(stream);
}

} // namespace

TEST(TgaFile, ConvertsEachDepthToArgb)
{
    struct Case {
        int depth;
        std::vector<uint8_t> pixel;
        uint32_t expected;
    } cases[] = {
        {24, {0x10, 0x20, 0x30}, 0xFF302010u},
        {32, {0x10, 0x20, 0x30, 0x40}, 0x40302010u},
        {32, {0x10, 0x20, 0x30, 0x00}, 0x00302010u},
        {16, {0x00, 0x00}, 0x00000000u}, // the only transparent value
        {16, {0x00, 0x80}, 0xFF000000u}, // the file's alpha bit alone: opaque black
        {16, {0x1F, 0x7C}, 0xFFF800F8u}, // red 31, blue 31
        {16, {0xE0, 0x03}, 0xFF00F800u}, // green 31
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = Header(1, 1, c.depth);
        bytes.insert(bytes.end(), c.pixel.begin(), c.pixel.end());
        CSkinPicture picture;
        ASSERT_EQ(Load(bytes, picture), 1) << c.depth;
        EXPECT_EQ(picture.PixelAt(0, 0), c.expected) << "depth " << c.depth;
    }
}

TEST(TgaFile, FlipsBottomUpRowsAndIgnoresTrailingData)
{
    std::vector<uint8_t> bytes = Header(1, 2, 24);
    const uint8_t bottom[] = {1, 0, 0}, top[] = {2, 0, 0};
    bytes.insert(bytes.end(), bottom, bottom + 3);
    bytes.insert(bytes.end(), top, top + 3);
    bytes.resize(bytes.size() + 26, 0xAB); // a TGA 2.0 footer the reader must not care about
    bytes[17] = 0x20;                      // descriptor says top-left origin: still flipped
    CSkinPicture picture;
    ASSERT_EQ(Load(bytes, picture), 1);
    EXPECT_EQ(picture.PixelAt(0, 0), 0xFF000002u);
    EXPECT_EQ(picture.PixelAt(0, 1), 0xFF000001u);
}

TEST(TgaFile, WriteThenReadGivesTheSameBytes)
{
    CSkinPicture source;
    source.Resize(5, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x)
            source.SetPixel(
                x, y, 0xFF000000u | static_cast<uint32_t>(x * 40) << 16 | static_cast<uint32_t>(y * 80));
    }
    source.SetPixel(2, 1, 0); // transparent survives every depth
    for (const int depth : {16, 24, 32}) {
        const std::vector<uint8_t> first = TgaBytes(source, depth);
        CSkinPicture read;
        ASSERT_EQ(Load(first, read), 1) << depth;
        EXPECT_EQ(read.Width(), 5);
        EXPECT_EQ(read.Height(), 3);
        EXPECT_EQ(TgaBytes(read, depth), first) << depth;
        EXPECT_EQ(read.PixelAt(2, 1) >> 24, depth == 24 ? 0xFFu : 0u) << depth;
    }
}

TEST(TgaFile, RefusedPicturesLeaveThePreviousOneUntouched)
{
    std::vector<uint8_t> full = Header(2, 2, 24);
    full.resize(full.size() + 12, 0x55);
    std::vector<std::vector<uint8_t>> refused = {
        {},                                                    // empty
        std::vector<uint8_t>(full.begin(), full.begin() + 17), // header cut
        std::vector<uint8_t>(full.begin(), full.end() - 1),    // last pixel cut
        Header(2, 2, 8),                                       // palette depth
        Header(0, 2, 24),                                      // no width
        Header(65535, 65535, 32),                              // claims 16 GiB, has nothing
    };
    refused[3].resize(refused[3].size() + 4);
    for (size_t i = 0; i < refused.size(); ++i) {
        CSkinPicture picture;
        MakeSolid(picture, 3, 1, 0xFF123456u);
        EXPECT_EQ(Load(refused[i], picture), 0) << i;
        EXPECT_EQ(picture.Width(), 3) << i;
        EXPECT_EQ(picture.PixelAt(2, 0), 0xFF123456u) << i;
    }
}
