// Tracks at rates other than the output's, played through a deck: the deck resamples the source's
// own rate (and the source halves one above 65535 Hz), so a 1 kHz tone stays 1 kHz.
#include "DeckPlayer.h"
#include "EngineTestSupport.h"
#include "MpegReference.h"
#include "TempDir.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

TEST(FfmpegEngine, FilesAt48And96KHzPlayAtTheirPitch)
{
    if (!HaveTool("ffmpeg"))
        GTEST_SKIP() << "ffmpeg missing";
    CTempDir dir;
    for (const uint32_t rate : {48000u, 96000u}) {
        std::vector<int16_t> left;
        std::vector<int16_t> right;
        for (uint32_t i = 0; i < rate * 2; ++i) {
            left.push_back(static_cast<int16_t>(
                std::lrint(12000.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * i / rate))));
            right.push_back(static_cast<int16_t>(-left.back()));
        }
        const std::string wav = dir.Path("tone" + std::to_string(rate) + ".wav");
        const std::string flac = dir.Path("tone" + std::to_string(rate) + ".flac");
        ASSERT_TRUE(WriteStereoWav16(wav, left, right, rate));
        ASSERT_TRUE(RunQuiet("ffmpeg -nostdin -v error -y -i '" + wav + "' -c:a flac '" + flac + "'"));

        CDeckPlayer deck;
        ASSERT_EQ(deck.Load(flac.c_str()), 1) << rate;
        RefillFully(deck);
        deck.Play();
        const RenderedAudio out = RenderDeck(deck, 300); // 0.87 s at 44.1 kHz
        const size_t from = 4410;
        const double atPitch = ToneAmplitude(out.left, 1000.0, from);
        // Played at the wrong rate the tone would sit at 1088 Hz (48 kHz taken as 44.1) or
        // 2177 Hz (96 kHz taken as 44.1).
        EXPECT_NEAR(atPitch, 12000.0, 600.0) << rate;
        EXPECT_LT(ToneAmplitude(out.left, 1088.4, from), 0.05 * atPitch) << rate;
        EXPECT_LT(ToneAmplitude(out.left, 2176.9, from), 0.05 * atPitch) << rate;
        EXPECT_NEAR(ToneAmplitude(out.right, 1000.0, from), atPitch, 0.01 * atPitch) << rate;
    }
}
