#include "SkinPicture.h"
#include "ByteReader.h"
#include "SkinTestPictures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

TEST(SkinPicture, BlendMixesEveryByteHalfAndHalfTruncated)
{
    CSkinPicture picture;
    MakeSolid(picture, 4, 4, 0xFFFFFFFFu);
    picture.BlendRect(1, 1, 2, 2, 0xFF800000u);
    EXPECT_EQ(picture.PixelAt(1, 1), 0xFEBF7F7Fu);
    EXPECT_EQ(picture.PixelAt(2, 2), 0xFEBF7F7Fu);
    EXPECT_EQ(picture.PixelAt(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(picture.PixelAt(3, 2), 0xFFFFFFFFu);
}

TEST(SkinPicture, OutlinesTouchOnlyTheirBorder)
{
    CSkinPicture picture;
    MakeSolid(picture, 5, 5, 0);
    picture.FrameRect(0, 0, 4, 3, 7);
    picture.BlendFrame(1, 1, 4, 4, 0x02020202u);
    int framed = 0;
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            if (picture.PixelAt(x, y) == 7)
                ++framed;
        }
    }
    // 10 outline pixels of the 4 x 3 frame, less the two the blended outline crossed.
    EXPECT_EQ(framed, 8);
    EXPECT_EQ(picture.PixelAt(1, 1), 0x01010101u);
    EXPECT_EQ(picture.PixelAt(3, 1), 0x01010101u + 3); // 7 mixed half and half
    EXPECT_EQ(picture.PixelAt(2, 3), 0u);              // inside both outlines
    EXPECT_EQ(picture.PixelAt(4, 4), 0x01010101u);
}

TEST(SkinPicture, TransparentCopiesSkipExactlyAlphaZero)
{
    // A 16-bit picture with value 0 at (1, 0) and a 24-bit one with all black: the 24-bit copy
    // takes every pixel (alpha forced to 0xFF), the 16-bit copy skips the zero value only.
    CSkinPicture sixteen;
    sixteen.Resize(3, 1);
    sixteen.SetPixel(0, 0, 0xFF000000u);
    sixteen.SetPixel(1, 0, 0);
    sixteen.SetPixel(2, 0, 0xFF0000F8u);
    CSkinPicture twentyFour;
    MakeSolid(twentyFour, 3, 1, 0);
    for (const auto& [depth, source] : {std::pair{16, &sixteen}, std::pair{24, &twentyFour}}) {
        const std::vector<uint8_t> bytes = TgaBytes(*source, depth);
        CByteReader stream(bytes.data(), bytes.size());
        CSkinPicture loaded;
        ASSERT_EQ(loaded.LoadTga(stream), 1);
        CSkinPicture target;
        MakeSolid(target, 3, 1, 0xFF777777u);
        target.Blit(0, 0, 3, 1, loaded, 0, 0, true);
        EXPECT_EQ(target.PixelAt(0, 0), 0xFF000000u) << depth;
        EXPECT_EQ(target.PixelAt(1, 0), depth == 16 ? 0xFF777777u : 0xFF000000u) << depth;
        EXPECT_EQ(target.PixelAt(2, 0), depth == 16 ? 0xFF0000F8u : 0xFF000000u) << depth;
    }
}

TEST(SkinPicture, OpaqueCopiesMoveEveryPixelAndHonourTheViewOrigins)
{
    CSkinPicture source;
    source.Resize(4, 4);
    for (int i = 0; i < 16; ++i)
        source.SetPixel(i % 4, i / 4, static_cast<uint32_t>(i)); // alpha 0 everywhere
    CSkinPicture target;
    MakeSolid(target, 6, 6, 0xFFFFFFFFu);
    target.SetViewOrigin(1, 2);
    source.SetViewOrigin(1, 1);
    target.Blit(0, 0, 2, 2, source, 1, 1, false);
    target.Blit(3, 0, 1, 1, source, 0, 0, false);
    target.Blit(0, 3, 0, 1, source, 0, 0, false); // zero width copies nothing
    EXPECT_EQ(target.PixelAt(1, 2), 10u);
    EXPECT_EQ(target.PixelAt(2, 3), 15u);
    EXPECT_EQ(target.PixelAt(4, 2), 5u);
    EXPECT_EQ(target.PixelAt(1, 5), 0xFFFFFFFFu);
}

TEST(SkinPicture, FillFromAViewOriginStopsAtTheEndOfThePicture)
{
    CSkinPicture picture;
    MakeSolid(picture, 4, 3, 1);
    picture.SetViewOrigin(2, 1);
    picture.Fill(9);
    EXPECT_EQ(picture.PixelAt(1, 1), 1u);
    EXPECT_EQ(picture.PixelAt(2, 1), 9u);
    EXPECT_EQ(picture.PixelAt(3, 2), 9u);
    EXPECT_EQ(picture.Resize(0, 5), 0);
    EXPECT_FALSE(picture.HasPixels());
    picture.Fill(3); // no pixels: nothing to write
}

TEST(SkinPicture, RectanglesReachingOutsideAreClippedAndCounted)
{
    const int64_t before = CSkinPicture::ClippedOperations();
    CSkinPicture small;
    MakeSolid(small, 2, 2, 0xFF0000FFu);
    CSkinPicture picture;
    MakeSolid(picture, 3, 3, 0);
    picture.FillRect(-5, 2, 100, 100, 4);
    picture.BlendRect(2, -1, 5, 2, 0);
    picture.Blit(1, 1, 10, 10, small, -1, 0, false);
    EXPECT_EQ(picture.PixelAt(0, 2), 4u);
    EXPECT_EQ(picture.PixelAt(2, 0), 0u);
    EXPECT_EQ(picture.PixelAt(1, 1), 0u);          // left of the source: skipped
    EXPECT_EQ(picture.PixelAt(2, 1), 0xFF0000FFu); // source (0, 0)
    EXPECT_EQ(picture.PixelAt(2, 2), 0xFF0000FFu);
    EXPECT_EQ(CSkinPicture::ClippedOperations(), before + 3);
    picture.FillRect(0, 0, 3, 3, 1); // inside: not counted
    EXPECT_EQ(CSkinPicture::ClippedOperations(), before + 3);
}
