#include "RenderArguments.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Parsed {
    bool ok;
    RenderOptions options;
    std::string error;
};

Parsed ParseLine(std::vector<const char*> words)
{
    words.insert(words.begin(), "quandel-render");
    Parsed parsed{};
    bool help = false;
    parsed.ok = CRenderArguments::Parse(static_cast<int>(words.size()), const_cast<char**>(words.data()),
                                        parsed.options, parsed.error, help);
    return parsed;
}

} // namespace

TEST(RenderArguments, TimesAreSecondsMinutesOrHoursAndNothingElse)
{
    const struct {
        const char* text;
        double seconds; // < 0: refused
    } cases[] = {
        {"90.5", 90.5},
        {"0", 0.0},
        {"1:30", 90.0},
        {"0:59.75", 59.75},
        {"75:00", 4500.0},
        {"1:02:03.25", 3723.25},
        {"10:00:00", 36000.0},
        {"1:75", -1},
        {"1:60", -1},
        {"1:60:00", -1},
        {"8abc", -1},
        {"-1", -1},
        {"", -1},
        {"1:", -1},
        {":30", -1},
        {"1:2:3:4", -1},
        {"1.2.3", -1},
        {".5", -1},
        {"5.", -1},
        {"1e3", -1},
        {" 5", -1},
        {"0x10", -1},
    };
    for (const auto& c : cases) {
        double seconds = -7.0;
        const bool ok = CRenderArguments::ParseTime(c.text, seconds);
        EXPECT_EQ(ok, c.seconds >= 0.0) << c.text;
        if (ok && c.seconds >= 0.0) {
            EXPECT_DOUBLE_EQ(seconds, c.seconds) << c.text;
        }
    }
}

TEST(RenderArguments, EveryOptionIsCheckedWholeAndNamedInItsError)
{
    const std::vector<std::vector<const char*>> refused = {
        {"--fade", "soon"},
        {"--fade", "1e9"},
        {"--to", "1:xx"},
        {"--to", "1:75"},
        {"--block", "8abc"},
        {"--block", "0"},
        {"--block", "129"},
        {"--threads", "0"},
        {"--threads", "3"},
        {"--master-volume", "256"},
        {"--master-volume", "-1"},
        {"--master-volume", "1.5"},
        {"--bogus"},
        {"--repeat", "a.m3u"},
        {"--from", "10", "--to", "5"},
        {"-o"},
        {"-o", ""},
        {"--play", "--cue", "x.cue"},
    };
    for (const auto& words : refused) {
        const Parsed parsed = ParseLine(words);
        EXPECT_FALSE(parsed.ok) << words[0];
        EXPECT_FALSE(parsed.error.empty()) << words[0];
    }
    const Parsed good =
        ParseLine({"-o", "x.wav", "--fade", "-3", "--from", "1:30", "--to", "1:00:00", "--block", "16",
                   "--master-volume", "128", "--tracklist", "t.txt", "--cue", "x.cue", "in.qzl"});
    ASSERT_TRUE(good.ok) << good.error;
    EXPECT_FLOAT_EQ(good.options.fadeSeconds, -3.0f);
    EXPECT_DOUBLE_EQ(good.options.fromSeconds, 90.0);
    EXPECT_DOUBLE_EQ(good.options.toSeconds, 3600.0);
    EXPECT_EQ(good.options.blockTicks, 16u);
    EXPECT_EQ(good.options.threads, 0) << "chosen by the machine unless asked";
    EXPECT_EQ(ParseLine({"--threads", "1", "a.m3u"}).options.threads, 1);
    EXPECT_EQ(good.options.masterVolume, 128);
    EXPECT_EQ(good.options.tracklist, "t.txt");
    EXPECT_EQ(good.options.cueSheet, "x.cue");
    EXPECT_EQ(good.options.inputs, std::vector<std::string>{"in.qzl"});
    // An endless mix is fine where it streams: into a pipe, or to the sound card.
    EXPECT_TRUE(ParseLine({"--repeat", "-o", "-", "a.m3u"}).ok);
    EXPECT_TRUE(ParseLine({"--repeat", "--play", "a.m3u"}).ok);
    EXPECT_EQ(ParseLine({"--", "-odd name.wav"}).options.inputs, std::vector<std::string>{"-odd name.wav"});
    // Skipping silence and levelling need the measurements: each asks for the analysis itself.
    EXPECT_FALSE(good.options.analyse || good.options.skipSilence || good.options.levelTracks);
    const Parsed skip = ParseLine({"--skip-silence", "a.m3u"});
    EXPECT_TRUE(skip.options.skipSilence && skip.options.analyse && !skip.options.levelTracks);
    const Parsed level = ParseLine({"--level", "a.m3u"});
    EXPECT_TRUE(level.options.levelTracks && level.options.analyse && !level.options.skipSilence);
}
