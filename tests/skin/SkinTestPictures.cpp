#include "SkinTestPictures.h"

#include "SkinPicture.h"
#include "TgaFile.h"

void MakeSolid(CSkinPicture& picture, int32_t width, int32_t height, uint32_t colour)
{
    picture.Resize(width, height);
    picture.Fill(colour);
}

void MakeProportionalFont(CSkinPicture& picture, const std::vector<int32_t>& widths, int32_t glyphHeight)
{
    int32_t total = 0;
    for (int k = 0; k < 256; ++k)
        total += k < static_cast<int>(widths.size()) ? widths[k] : 1;
    picture.Resize(total, glyphHeight + 1);
    picture.Fill(0);
    int32_t x = 0;
    for (int k = 0; k < 256; ++k) {
        const int32_t w = k < static_cast<int>(widths.size()) ? widths[k] : 1;
        picture.SetPixel(x, 0, 0xFFFFFFFFu);
        for (int32_t c = 0; c < w; ++c)
            picture.FillRect(x + c, 1, 1, glyphHeight, InkOf(k, c));
        x += w;
    }
}

std::vector<uint8_t> TgaBytes(const CSkinPicture& picture, int depth)
{
    return CTgaFile::Write(picture, depth);
}
