#include "HeadlessRenderer.h"
#include "CoreTestSupport.h"
#include "DemoTracks.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Left channel of a 16-bit stereo WAV the recorder wrote (44-byte header).
std::vector<int16_t> LeftChannel(const std::vector<uint8_t>& wav)
{
    std::vector<int16_t> left;
    for (size_t i = 44; i + 3 < wav.size(); i += 4)
        left.push_back(static_cast<int16_t>(wav[i] | wav[i + 1] << 8));
    return left;
}

struct RenderResult {
    int code = -1;
    std::string messages;
    CHeadlessRenderer::Summary summary;
};

RenderResult Render(CHeadlessRenderer::Options options)
{
    options.quiet = true;
    char* text = nullptr;
    size_t size = 0;
    FILE* messages = open_memstream(&text, &size);
    RenderResult result;
    {
        CHeadlessRenderer renderer(options, messages);
        result.code = renderer.Run();
        result.summary = renderer.Result();
    }
    std::fclose(messages);
    result.messages.assign(text, size);
    std::free(text);
    return result;
}

} // namespace

TEST(HeadlessRenderer, TheDemoRendersTheSameBytesTwice)
{
    CTempDir dir;
    CHeadlessRenderer::Options options;
    options.demoFolder = dir.Path("demo");
    options.demoMp3 = false;
    const RenderResult first = Render(options);
    ASSERT_EQ(first.code, CHeadlessRenderer::kOk) << first.messages;
    EXPECT_EQ(first.summary.tracksPlayed, static_cast<int>(CDemoTracks::Tracks().size()));
    const auto a = ReadBytes(dir.Path("demo/demo-mix.wav"));
    const RenderResult second = Render(options);
    ASSERT_EQ(second.code, CHeadlessRenderer::kOk) << second.messages;
    const auto b = ReadBytes(dir.Path("demo/demo-mix.wav"));
    ASSERT_GT(a.size(), 44u + 44100 * 4 * 60);
    EXPECT_EQ(a, b);
    EXPECT_GT(first.summary.peakDb, -12.0);
    EXPECT_LT(first.summary.peakDb, 0.0);
}

TEST(HeadlessRenderer, TheLengthIsTheTracksLessTheFadesAndAMissingTrackIsNamedAndSkipped)
{
    CTempDir dir;
    const std::vector<double> lengths = {12.0, 10.0, 11.0};
    std::ofstream m3u(dir.Path("list.m3u"));
    for (size_t i = 0; i < lengths.size(); ++i) {
        const std::string name = "t" + std::to_string(i) + ".wav";
        WriteToneTrack(dir.Path(name), 400.0 + 200.0 * i, lengths[i]);
        m3u << name << "\n";
        if (i == 1)
            m3u << "gone.wav\n";
    }
    m3u.close();
    CHeadlessRenderer::Options options;
    options.inputs = {dir.Path("list.m3u")};
    options.fadeSeconds = 2.0f;
    const RenderResult result = Render(options);
    EXPECT_EQ(result.code, CHeadlessRenderer::kTracksSkipped);
    EXPECT_NE(result.messages.find("gone.wav"), std::string::npos) << result.messages;
    EXPECT_EQ(result.summary.tracksSkipped, 1);
    EXPECT_EQ(result.summary.tracksPlayed, 3);
    const auto wav = ReadBytes(dir.Path("list.wav"));
    const double seconds = static_cast<double>(wav.size() - 44) / 4 / 44100.0;
    const double tick = 128.0 / 44100.0;
    // Two change-overs of 2 s each, one tick either way each.
    EXPECT_NEAR(seconds, 12.0 + 10.0 + 11.0 - 2 * 2.0, 2 * tick);
}

TEST(HeadlessRenderer, AMixFileRendersLikeItsLiveRecording)
{
    CTempDir dir;
    CPlayerCore recording;
    recording.List().AddTrack(WriteToneTrack(dir.Path("a.wav"), 440.0, 6.0), true);
    recording.List().AddTrack(WriteToneTrack(dir.Path("b.wav"), 660.0, 6.0), true);
    CCoreRun live(recording);
    recording.StartRecording();
    for (uint32_t t = 0; t < 1500; ++t) {
        live.Tick([&] {
            CControlTable& c = recording.Controls();
            if (t == 0)
                for (int d = 0; d < 2; ++d)
                    recording.LoadTrackToDeck(d, recording.List().Entry(d).location.c_str(),
                                              recording.List().Entry(d).id);
            if (t == 3)
                c.SetValue(ControlId::DeckStartStop, 0, 1, true, true);
            if (t == 400)
                c.SetValue(ControlId::DeckStartStop, 1, 1, true, true);
            if (t >= 400 && t < 900)
                c.SetValue(ControlId::XFader, 0, static_cast<int32_t>((t - 400) * 255 / 500), true, true);
        });
    }
    recording.FinishRecording();
    ASSERT_TRUE(recording.SaveDocument(dir.Path("mix.qzx")));

    CHeadlessRenderer::Options options;
    options.inputs = {dir.Path("mix.qzx")};
    options.blockTicks = 1; // the live run served its loads before every tick
    const RenderResult result = Render(options);
    ASSERT_EQ(result.code, CHeadlessRenderer::kOk) << result.messages;
    const auto rendered = LeftChannel(ReadBytes(dir.Path("mix.wav")));
    // The transport starts in the first tick, then two ticks load the first tracks before the
    // mix moves; the mix ends when its last tick is due.
    ASSERT_EQ(rendered.size(), live.left.size() + 2 * 128);
    const std::vector<int16_t> replayed(rendered.begin() + 3 * 128, rendered.end());
    const std::vector<int16_t> expected(live.left.begin(), live.left.end() - 128);
    size_t firstDiff = 0;
    while (firstDiff < expected.size() && replayed[firstDiff] == expected[firstDiff])
        ++firstDiff;
    EXPECT_EQ(firstDiff, expected.size()) << "tick " << firstDiff / 128;
}

TEST(HeadlessRenderer, OptionsAreCheckedAndNamedInTheirErrors)
{
    const char* cases[][4] = {
        {"quandel-render", "--fade", "soon", nullptr},
        {"quandel-render", "--to", "1:xx", nullptr},
        {"quandel-render", "--bogus", nullptr, nullptr},
        {"quandel-render", "--repeat", "a.m3u", nullptr},
    };
    for (auto& args : cases) {
        int argc = 0;
        while (argc < 4 && args[argc] != nullptr)
            ++argc;
        CHeadlessRenderer::Options options;
        std::string error;
        bool help = false;
        EXPECT_FALSE(CHeadlessRenderer::ParseArguments(argc, const_cast<char**>(args), options, error, help))
            << args[1];
        EXPECT_FALSE(error.empty());
    }
    const char* good[] = {"quandel-render", "-o",   "x.wav", "--fade", "-3",
                          "--from",         "1:30", "--to",  "200",    "in.qzl"};
    CHeadlessRenderer::Options options;
    std::string error;
    bool help = false;
    ASSERT_TRUE(CHeadlessRenderer::ParseArguments(10, const_cast<char**>(good), options, error, help))
        << error;
    EXPECT_FLOAT_EQ(options.fadeSeconds, -3.0f);
    EXPECT_DOUBLE_EQ(options.fromSeconds, 90.0);
    EXPECT_DOUBLE_EQ(options.toSeconds, 200.0);
    EXPECT_EQ(options.inputs, std::vector<std::string>{"in.qzl"});

    CTempDir dir;
    options = {};
    options.inputs = {dir.Path("nothing-here.qzl")};
    const RenderResult missing = Render(options);
    EXPECT_EQ(missing.code, CHeadlessRenderer::kNothingToPlay);
    EXPECT_NE(missing.messages.find("nothing-here.qzl"), std::string::npos);
}
