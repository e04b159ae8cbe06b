// The picture operations every skin repaint is made of, over the size of the playlist panel
// (484 x 358, the largest band of the back picture). Items are pixels.
#include "BitmapFont.h"
#include "SkinPicture.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace {

constexpr int32_t kWidth = 484;
constexpr int32_t kHeight = 358;

void Pattern(CSkinPicture& picture, int32_t width, int32_t height)
{
    picture.Resize(width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x)
            picture.SetPixel(x, y, (x ^ y) & 1 ? 0xFF102030u : 0x00000000u); // half transparent
    }
}

void PictureBlit(benchmark::State& state)
{
    const bool transparent = state.range(0) != 0;
    CSkinPicture source, target;
    Pattern(source, kWidth, kHeight);
    target.Resize(kWidth, kHeight);
    target.Fill(0xFF000000u);
    for (auto _ : state) {
        target.Blit(0, 0, kWidth, kHeight, source, 0, 0, transparent);
        benchmark::DoNotOptimize(target.Pixels());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(PictureBlit)->Name("skin/PictureBlit")->Arg(0)->Arg(1)->ArgName("transparent");

void PictureBlendRect(benchmark::State& state)
{
    CSkinPicture target;
    target.Resize(kWidth, kHeight);
    target.Fill(0xFFFFFFFFu);
    for (auto _ : state) {
        target.BlendRect(0, 0, kWidth, kHeight, 0x00001020u);
        benchmark::DoNotOptimize(target.Pixels());
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(PictureBlendRect)->Name("skin/PictureBlendRect");

// A marquee line of the deck panel: 40 glyphs of a 12-pixel proportional font, scrolled.
void FontDrawTextScrolled(benchmark::State& state)
{
    CSkinPicture fontPicture;
    fontPicture.Resize(256 * 7, 13);
    fontPicture.Fill(0xFF808080u);
    CBitmapFont font;
    font.Attach(&fontPicture);
    CSkinPicture target;
    target.Resize(kWidth, 20);
    const std::string text = "Artist Name - A Rather Long Track Title *** ";
    int32_t offset = 0;
    for (auto _ : state) {
        font.DrawTextScrolled(target, 10, 2, -offset, 200, text, true);
        offset = (offset + 1) % font.TextWidth(text);
        benchmark::DoNotOptimize(target.Pixels());
    }
    state.SetItemsProcessed(state.iterations() * 200 * font.GlyphHeight());
}
BENCHMARK(FontDrawTextScrolled)->Name("skin/FontDrawTextScrolled");

} // namespace
