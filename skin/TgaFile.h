#pragma once

#include <cstdint>
#include <vector>

class CByteReader;
class CSkinPicture;

// Uncompressed true-colour TGA pictures as the skin carries them. The reader uses only width,
// height and depth of the 18-byte header and takes the pixels right after it: every skin picture
// has no id field and no colour map, and trailing footers or extension areas are ignored. Rows
// are stored bottom-up and always flipped, whatever the descriptor says.
class CTgaFile {
public:
    // 1 with the picture sized and filled; 0 (picture untouched) for a depth other than 16, 24
    // or 32, a zero size, or pixel data shorter than the header promises.
    static int Read(CByteReader& stream, CSkinPicture& picture);
    // Writes the picture (from its first pixel) at depth 16, 24 or 32; empty for another depth.
    // At 16 bits a pixel with alpha 0 is stored as 0 and any other as 5-5-5 with the top bit set,
    // so an opaque black pixel stays opaque when read back.
    static std::vector<uint8_t> Write(const CSkinPicture& picture, int depth);
};
