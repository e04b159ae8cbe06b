// Fuzz entry for the TGA reader: a picture that loads must have the size its header gives and
// must write and read back to the same pixels at 32 bits; a refused one leaves the picture as
// it was.
#include "ByteReader.h"
#include "FuzzInputFile.h"
#include "SkinPicture.h"
#include "TgaFile.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CSkinPicture picture;
    picture.Resize(2, 1);
    picture.Fill(0x12345678u);
    CByteReader stream(data, size);
    if (picture.LoadTga(stream) == 0) {
        CFuzzInputFile::Check(picture.Width() == 2 && picture.PixelAt(1, 0) == 0x12345678u,
                              "a refused picture changed the old one");
        return 0;
    }
    CFuzzInputFile::Check(size >= 18, "a picture without a header loaded");
    const int32_t width = data[12] | data[13] << 8;
    const int32_t height = data[14] | data[15] << 8;
    CFuzzInputFile::Check(picture.Width() == width && picture.Height() == height,
                          "size differs from the header");
    CFuzzInputFile::Check(static_cast<uint64_t>(width) * height * (data[16] / 8) <= size - 18,
                          "more pixels than bytes");

    const std::vector<uint8_t> written = CTgaFile::Write(picture, 32);
    CSkinPicture reread;
    CByteReader again(written.data(), written.size());
    CFuzzInputFile::Check(reread.LoadTga(again) == 1, "a written picture does not load");
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x)
            CFuzzInputFile::Check(reread.PixelAt(x, y) == picture.PixelAt(x, y),
                                  "pixels differ after writing");
    }
    return 0;
}
