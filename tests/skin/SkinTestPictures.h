#pragma once

#include <cstdint>
#include <vector>

class CSkinPicture;

// Pictures the skin tests draw with, built in memory.

// Every pixel set to colour.
void MakeSolid(CSkinPicture& picture, int32_t width, int32_t height, uint32_t colour);

// A proportional font: a marker row above glyphHeight rows, 256 glyphs of the given widths
// (missing widths are 1). Glyph k's column c is inked with InkOf(k, c), so a drawn pixel tells
// which glyph and which of its columns landed there.
void MakeProportionalFont(CSkinPicture& picture, const std::vector<int32_t>& widths, int32_t glyphHeight);
constexpr uint32_t InkOf(int glyph, int column)
{
    return 0xFF000000u | static_cast<uint32_t>(glyph) << 8 | static_cast<uint32_t>(column);
}

// TGA bytes of the picture at the depth (16, 24, 32).
std::vector<uint8_t> TgaBytes(const CSkinPicture& picture, int depth);
