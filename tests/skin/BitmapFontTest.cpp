#include "BitmapFont.h"
#include "SkinPicture.h"
#include "SkinTestPictures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(BitmapFont, TwoHundredFiftySixMarksMakeAProportionalFont)
{
    std::vector<int32_t> widths(256, 2);
    widths['A'] = 5;
    widths['i'] = 1;
    CSkinPicture picture;
    MakeProportionalFont(picture, widths, 11);
    CBitmapFont font;
    font.Attach(&picture);
    EXPECT_FALSE(font.IsFixedPitch());
    EXPECT_EQ(font.GlyphHeight(), 11);
    EXPECT_EQ(font.GlyphWidth('A'), 5);
    EXPECT_EQ(font.GlyphX('B'), 2 * 'A' + 5);
    EXPECT_EQ(font.TextWidth("AiA"), 11);
    EXPECT_EQ(font.GlyphWidth(255), picture.Width() - font.GlyphX(255));

    // One mark fewer: the picture is a fixed-pitch font of width / 256 pixels over all rows.
    picture.SetPixel(font.GlyphX('B'), 0, 0);
    font.Attach(&picture);
    EXPECT_TRUE(font.IsFixedPitch());
    EXPECT_EQ(font.GlyphWidth('A'), picture.Width() / 256);
    EXPECT_EQ(font.GlyphX(3), 3 * (picture.Width() / 256));
    EXPECT_EQ(font.GlyphHeight(), 12);
}

TEST(BitmapFont, DrawTextStopsBeforeTheGlyphThatWouldOverflow)
{
    std::vector<int32_t> widths(256, 3);
    CSkinPicture fontPicture;
    MakeProportionalFont(fontPicture, widths, 2);
    CBitmapFont font;
    font.Attach(&fontPicture);
    CSkinPicture target;
    MakeSolid(target, 20, 4, 0);
    font.DrawText(target, 1, 1, 8, "abc"); // 'c' would end at 9
    EXPECT_EQ(target.PixelAt(1, 1), InkOf('a', 0));
    EXPECT_EQ(target.PixelAt(6, 2), InkOf('b', 2));
    EXPECT_EQ(target.PixelAt(7, 1), 0u);
    EXPECT_EQ(target.PixelAt(1, 3), 0u); // the marker row is not drawn
}

TEST(BitmapFont, ScrolledTextIsClippedAtBothEdgesAndWraps)
{
    std::vector<int32_t> widths(256, 4);
    CSkinPicture fontPicture;
    MakeProportionalFont(fontPicture, widths, 1);
    CBitmapFont font;
    font.Attach(&fontPicture);

    // Window x = 3 .. 13; text "ab" (8 pixels) starts 2 pixels left of the window and wraps.
    CSkinPicture target;
    MakeSolid(target, 20, 1, 0);
    font.DrawTextScrolled(target, 3, 0, -2, 10, "ab", true);
    std::vector<uint32_t> row;
    for (int x = 0; x < 20; ++x)
        row.push_back(target.PixelAt(x, 0));
    const std::vector<uint32_t> wrapped = {0,
                                           0,
                                           0,
                                           InkOf('a', 2),
                                           InkOf('a', 3),
                                           InkOf('b', 0),
                                           InkOf('b', 1),
                                           InkOf('b', 2),
                                           InkOf('b', 3),
                                           InkOf('a', 0),
                                           InkOf('a', 1),
                                           InkOf('a', 2),
                                           InkOf('a', 3),
                                           0,
                                           0,
                                           0,
                                           0,
                                           0,
                                           0,
                                           0};
    EXPECT_EQ(row, wrapped);

    MakeSolid(target, 20, 1, 0);
    font.DrawTextScrolled(target, 3, 0, -2, 10, "ab", false);
    EXPECT_EQ(target.PixelAt(8, 0), InkOf('b', 3));
    EXPECT_EQ(target.PixelAt(9, 0), 0u); // without wrap the text ends
    EXPECT_EQ(target.PixelAt(2, 0), 0u);

    // A glyph crossing the right edge is cut there.
    MakeSolid(target, 20, 1, 0);
    font.DrawTextScrolled(target, 0, 0, 0, 6, "abc", true);
    EXPECT_EQ(target.PixelAt(5, 0), InkOf('b', 1));
    EXPECT_EQ(target.PixelAt(6, 0), 0u);
}

TEST(BitmapFont, UtfEightTextTakesTheGlyphsOfItsWindows1252Codes)
{
    std::vector<int32_t> widths(256, 1);
    widths[0xFC] = 7; // ü
    widths[0x80] = 9; // €
    widths[0x96] = 4; // –
    widths['?'] = 3;
    widths[0xC3] = 20; // Ã: what the first byte of "ü" would show as a byte of its own
    CSkinPicture picture;
    MakeProportionalFont(picture, widths, 4);
    CBitmapFont font;
    font.Attach(&picture);
    EXPECT_EQ(font.TextWidth("\xC3\xBC"), 7);
    EXPECT_EQ(font.TextWidth("\xE2\x82\xAC"), 9);
    EXPECT_EQ(font.TextWidth("\xE2\x80\x93"), 4);
    // Characters the code page lacks (here a CJK one and an emoji) show as '?'.
    EXPECT_EQ(font.TextWidth("\xE6\x97\xA5\xF0\x9F\x8E\xB5"), 6);
    // A byte that starts no valid sequence (an 8-bit text, or a cut-off one) is its own code.
    EXPECT_EQ(font.TextWidth("\xFC"), 7);
    EXPECT_EQ(font.TextWidth("\xC3"), 20);
    EXPECT_EQ(font.TextWidth("\xE2\x82"), 1 + 1);
    // Overlong forms and surrogates are no characters: each byte is its own code (0x80 is €).
    EXPECT_EQ(font.TextWidth("\xC0\xAF"), 2);
    EXPECT_EQ(font.TextWidth("\xED\xA0\x80"), 1 + 1 + 9);

    CSkinPicture target;
    MakeSolid(target, 20, 4, 0);
    font.DrawText(target, 0, 0, 20, "a\xC3\xBC");
    EXPECT_EQ(target.PixelAt(1, 0), InkOf(0xFC, 0)) << "the second glyph drawn is ü's";
}
