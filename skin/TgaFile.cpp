#include "TgaFile.h"

#include "ByteReader.h"
#include "ByteWriter.h"
#include "SkinPicture.h"

namespace {

constexpr size_t kHeaderBytes = 18;

uint32_t FromTga16(uint16_t v)
{
    // The file's 1-bit alpha is not used: only the value 0 is transparent.
    if (v == 0)
        return 0;
    const uint32_t r = ((v >> 10) & 31u) << 3;
    const uint32_t g = ((v >> 5) & 31u) << 3;
    const uint32_t b = (v & 31u) << 3;
    return 0xFF000000u | r << 16 | g << 8 | b;
}

} // namespace

int CTgaFile::Read(CByteReader& stream, CSkinPicture& picture)
{
    uint8_t header[kHeaderBytes];
    if (!stream.ReadBytes(header, sizeof header))
        return 0;
    const int32_t width = header[12] | header[13] << 8;
    const int32_t height = header[14] | header[15] << 8;
    const int depth = header[16];
    if (depth != 16 && depth != 24 && depth != 32)
        return 0;
    const size_t bytesPerPixel = static_cast<size_t>(depth / 8);
    const size_t rowBytes = static_cast<size_t>(width) * bytesPerPixel;
    // Checked before allocating, so a header claiming 65535 x 65535 costs nothing.
    if (width == 0 || height == 0 || stream.Remaining() / rowBytes < static_cast<size_t>(height))
        return 0;
    if (picture.Resize(width, height) == 0)
        return 0;
    const uint8_t* data = stream.Current();
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* from = data + static_cast<size_t>(height - 1 - row) * rowBytes;
        uint32_t* to = picture.Pixels() + static_cast<size_t>(row) * width;
        for (int32_t x = 0; x < width; ++x, from += bytesPerPixel) {
            switch (depth) {
            case 16:
                to[x] = FromTga16(static_cast<uint16_t>(from[0] | from[1] << 8));
                break;
            case 24:
                to[x] = 0xFF000000u | static_cast<uint32_t>(from[2]) << 16 |
                        static_cast<uint32_t>(from[1]) << 8 | from[0];
                break;
            default:
                to[x] = static_cast<uint32_t>(from[3]) << 24 | static_cast<uint32_t>(from[2]) << 16 |
                        static_cast<uint32_t>(from[1]) << 8 | from[0];
                break;
            }
        }
    }
    stream.Skip(rowBytes * static_cast<size_t>(height));
    return 1;
}

std::vector<uint8_t> CTgaFile::Write(const CSkinPicture& picture, int depth)
{
    if ((depth != 16 && depth != 24 && depth != 32) || !picture.HasPixels())
        return {};
    CByteWriter out;
    out.WriteU8(0); // id length
    out.WriteU8(0); // no colour map
    out.WriteU8(2); // uncompressed true colour
    for (int i = 0; i < 5; ++i)
        out.WriteU8(0); // colour map origin, length, entry size
    out.WriteU16(0);    // x origin
    out.WriteU16(0);    // y origin
    out.WriteU16(static_cast<uint16_t>(picture.Width()));
    out.WriteU16(static_cast<uint16_t>(picture.Height()));
    out.WriteU8(static_cast<uint8_t>(depth));
    out.WriteU8(depth == 32 ? 8 : 0); // alpha bits, origin bottom-left
    for (int32_t row = picture.Height() - 1; row >= 0; --row) {
        const uint32_t* p = picture.Pixels() + static_cast<size_t>(row) * picture.Width();
        for (int32_t x = 0; x < picture.Width(); ++x) {
            const uint32_t v = p[x];
            if (depth == 16) {
                uint16_t packed = 0;
                if ((v >> 24) != 0)
                    packed = static_cast<uint16_t>(0x8000u | ((v >> 19) & 31u) << 10 |
                                                   ((v >> 11) & 31u) << 5 | ((v >> 3) & 31u));
                out.WriteU16(packed);
                continue;
            }
            out.WriteU8(static_cast<uint8_t>(v));
            out.WriteU8(static_cast<uint8_t>(v >> 8));
            out.WriteU8(static_cast<uint8_t>(v >> 16));
            if (depth == 32)
                out.WriteU8(static_cast<uint8_t>(v >> 24));
        }
    }
    return out.Take();
}
