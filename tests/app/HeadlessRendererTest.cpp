#include "HeadlessRenderer.h"
#include "BeatTestSet.h"
#include "ChildProcess.h"
#include "CoreTestSupport.h"
#include "DemoTracks.h"
#include "EngineTestSupport.h"
#include "LoudnessMeter.h"
#include "Playlist.h"
#include "TempDir.h"
#include "WavWriter.h"
#include "XmlPlaylist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr double kTick = 128.0 / 44100.0;

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Where the samples of a WAV file begin: after its "data" chunk header.
size_t DataOffset(const std::vector<uint8_t>& wav)
{
    for (size_t at = 12; at + 8 <= wav.size();) {
        const uint32_t size =
            wav[at + 4] | wav[at + 5] << 8 | wav[at + 6] << 16 | static_cast<uint32_t>(wav[at + 7]) << 24;
        if (std::equal(wav.begin() + static_cast<long>(at), wav.begin() + static_cast<long>(at) + 4, "data"))
            return at + 8;
        at += 8 + size;
    }
    return wav.size();
}

std::vector<int16_t> LeftChannel(const std::vector<uint8_t>& wav)
{
    std::vector<int16_t> left;
    for (size_t i = DataOffset(wav); i + 3 < wav.size(); i += 4)
        left.push_back(static_cast<int16_t>(wav[i] | wav[i + 1] << 8));
    return left;
}

size_t Frames(const std::string& path)
{
    const auto wav = ReadBytes(path);
    return (wav.size() - DataOffset(wav)) / 4;
}

// The longest run of samples that stay below threshold: a gap heard as silence.
size_t LongestQuietRun(const std::vector<int16_t>& samples, int threshold)
{
    size_t longest = 0;
    size_t run = 0;
    for (const int16_t s : samples) {
        run = std::abs(static_cast<int>(s)) < threshold ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
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

CHeadlessRenderer::Options Tracks(const CTempDir& dir, const std::vector<double>& seconds, float fade)
{
    CHeadlessRenderer::Options options;
    for (size_t i = 0; i < seconds.size(); ++i)
        options.inputs.push_back(WriteToneTrack(dir.Path("t" + std::to_string(i) + ".wav"),
                                                400.0 + 150.0 * static_cast<double>(i), seconds[i]));
    options.fadeSeconds = fade;
    options.output = dir.Path("mix.wav");
    return options;
}

} // namespace

TEST(HeadlessRenderer, TheDemoIsMadeInTheUsersDataFolderAndRendersTheSameBytesTwice)
{
    CTempDir dir;
    setenv("XDG_DATA_HOME", dir.Root().c_str(), 1);
    CHeadlessRenderer::Options options;
    options.demoMp3 = false;
    const RenderResult first = Render(options);
    ASSERT_EQ(first.code, CHeadlessRenderer::kOk) << first.messages;
    const std::string folder = dir.Path("quandel-player/demo");
    EXPECT_NE(first.messages.find(folder), std::string::npos) << first.messages;
    EXPECT_EQ(first.summary.tracksPlayed, static_cast<int>(CDemoTracks::Tracks().size()));
    const auto a = ReadBytes(folder + "/demo-mix.wav");
    const RenderResult second = Render(options);
    ASSERT_EQ(second.code, CHeadlessRenderer::kOk) << second.messages;
    const auto b = ReadBytes(folder + "/demo-mix.wav");
    ASSERT_GT(a.size(), 44u + 44100 * 4 * 60);
    EXPECT_EQ(a, b);
    // The tracks play at their own level; the limiter keeps the cross-fades below full scale.
    EXPECT_GT(first.summary.peakDb, -3.0);
    EXPECT_LE(first.summary.peakDb, 0.0);
}

// The tracks decoded on a second thread while the mix renders: the same file as with one thread,
// run after run. The demo is MP3 where lame can make it, so the decoder does real work.
TEST(HeadlessRenderer, DecodingOnASecondThreadWritesTheSameBytesAsOneThread)
{
    CTempDir dir;
    CHeadlessRenderer::Options options;
    options.demoFolder = dir.Path("demo");
    options.threads = 1;
    const RenderResult first = Render(options);
    ASSERT_EQ(first.code, CHeadlessRenderer::kOk) << first.messages;
    const auto one = ReadBytes(dir.Path("demo/demo-mix.wav"));
    ASSERT_GT(one.size(), 44u + 44100 * 4 * 60);
    options.threads = 2;
    for (int run = 0; run < 10; ++run) {
        const RenderResult threaded = Render(options);
        ASSERT_EQ(threaded.code, CHeadlessRenderer::kOk) << threaded.messages;
        ASSERT_EQ(ReadBytes(dir.Path("demo/demo-mix.wav")), one) << "run " << run;
    }
}

TEST(HeadlessRenderer, TheMixLastsWhatTheProgressExpectedAndAMissingTrackIsNamedAndSkipped)
{
    CTempDir dir;
    const std::vector<double> lengths = {12.0, 10.0, 11.0};
    std::ofstream m3u(dir.Path("list.m3u"));
    for (size_t i = 0; i < lengths.size(); ++i) {
        const std::string name = "t" + std::to_string(i) + ".wav";
        WriteToneTrack(dir.Path(name), 400.0 + 200.0 * static_cast<double>(i), lengths[i]);
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
    const double seconds = static_cast<double>(Frames(dir.Path("list.wav"))) / 44100.0;
    EXPECT_NEAR(seconds, 12.0 + 10.0 + 11.0 - 2 * 2.0, 2 * kTick);
    EXPECT_NEAR(result.summary.estimatedSeconds, seconds, 2 * kTick);

    // Tracks shorter than three fades change over at their ends; a pause adds its time.
    const struct {
        std::vector<double> lengths;
        float fade;
        double expected;
    } cases[] = {{{12.0, 12.0}, 8.0f, 24.0}, {{5.0, 6.0, 7.0}, -1.0f, 20.0}, {{30.0, 30.0}, 8.0f, 52.0}};
    for (const auto& c : cases) {
        CTempDir other;
        const RenderResult r = Render(Tracks(other, c.lengths, c.fade));
        ASSERT_EQ(r.code, CHeadlessRenderer::kOk) << r.messages;
        EXPECT_NEAR(r.summary.seconds, c.expected, 0.02) << c.fade;
        EXPECT_NEAR(r.summary.estimatedSeconds, r.summary.seconds, 0.02) << c.fade;
    }
}

TEST(HeadlessRenderer, ToAndFromCutOnTheExactFrameWhateverTheBlock)
{
    CTempDir dir;
    std::vector<int16_t> whole;
    for (const uint32_t block : {1u, 8u, 128u}) {
        CHeadlessRenderer::Options options = Tracks(dir, {6.0, 6.0}, 1.0f);
        options.blockTicks = block;
        options.toSeconds = 9.5;
        const RenderResult to = Render(options);
        ASSERT_EQ(to.code, CHeadlessRenderer::kOk) << to.messages;
        EXPECT_EQ(Frames(options.output), 418950u) << block;
        if (block == 1)
            whole = LeftChannel(ReadBytes(options.output));
        options.fromSeconds = 2.25;
        const RenderResult part = Render(options);
        ASSERT_EQ(part.code, CHeadlessRenderer::kOk) << part.messages;
        const std::vector<int16_t> left = LeftChannel(ReadBytes(options.output));
        ASSERT_EQ(left.size(), 418950u - 99225u) << block;
        EXPECT_TRUE(std::equal(left.begin(), left.end(), whole.begin() + 99225)) << block;
    }
    CHeadlessRenderer::Options late = Tracks(dir, {3.0}, 1.0f);
    late.fromSeconds = 10.0;
    late.output = dir.Path("late.wav");
    const RenderResult nothing = Render(late);
    EXPECT_EQ(nothing.code, CHeadlessRenderer::kNothingToPlay);
    EXPECT_NE(nothing.messages.find("--from"), std::string::npos) << nothing.messages;
    EXPECT_NE(access(late.output.c_str(), F_OK), 0);
}

TEST(HeadlessRenderer, WithoutAFadeTheLastTrackPlaysToItsLastFrame)
{
    CTempDir dir;
    CHeadlessRenderer::Options options = Tracks(dir, {3.0, 2.0}, 0.0f);
    const RenderResult result = Render(options);
    ASSERT_EQ(result.code, CHeadlessRenderer::kOk) << result.messages;
    const std::vector<int16_t> left = LeftChannel(ReadBytes(options.output));
    // The change-over at the first track's end cuts less than a tick of it; the last track
    // ends within a few frames of its own end.
    EXPECT_LE(left.size(), 5u * 44100u + 16u);
    EXPECT_GE(left.size(), 5u * 44100u - 128u - 16u);
    // The last 20 ms still hold the second track's tone at full level.
    EXPECT_GT(WindowAmplitude(left, 550.0, left.size() - 882, 882), 11000.0);
}

TEST(HeadlessRenderer, ARepeatedListChangesOverIntoItsFirstTrackLikeAnyOther)
{
    for (const size_t tracks : {2u, 3u}) {
        CTempDir dir;
        CHeadlessRenderer::Options options = Tracks(dir, std::vector<double>(tracks, 8.0), 2.0f);
        options.repeat = true;
        options.toSeconds = 40.0;
        options.tracklist = dir.Path("tracklist.txt");
        const RenderResult result = Render(options);
        ASSERT_EQ(result.code, CHeadlessRenderer::kOk) << result.messages;
        // A track enters every 6 s: at 0, 6, ... 36.
        EXPECT_EQ(result.summary.tracksPlayed, 7) << tracks;
        const std::vector<int16_t> left = LeftChannel(ReadBytes(options.output));
        EXPECT_EQ(left.size(), 40u * 44100u);
        // A tone crosses zero every millisecond or so; 20 ms below 100 would be a gap.
        EXPECT_LT(LongestQuietRun(left, 100), 882u) << tracks;
        const std::string list = ReadTextFile(options.tracklist);
        std::string expected;
        for (int i = 0; i < 7; ++i) {
            char line[64];
            std::snprintf(line, sizeof line, "    0:%02d  %c  t%zu\n", i * 6, i % 2 == 0 ? 'A' : 'B',
                          static_cast<size_t>(i) % tracks);
            expected += line;
        }
        EXPECT_EQ(list, expected) << tracks;
    }
}

TEST(HeadlessRenderer, NothingThatIsReadIsEverWrittenOver)
{
    CTempDir dir;
    const std::string track = WriteToneTrack(dir.Path("track.wav"), 440.0, 2.0);
    const auto before = ReadBytes(track);
    CHeadlessRenderer::Options options;
    options.inputs = {track};
    const RenderResult byDefault = Render(options);
    ASSERT_EQ(byDefault.code, CHeadlessRenderer::kOk) << byDefault.messages;
    EXPECT_EQ(byDefault.summary.outputPath, dir.Path("track-mix.wav"));
    EXPECT_EQ(ReadBytes(track), before);

    std::ofstream(dir.Path("list.m3u")) << "track.wav\n";
    symlink(track.c_str(), dir.Path("link.wav").c_str());
    mkdir(dir.Path("folder.wav").c_str(), 0755);
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"-o", track},          {"-o", dir.Path("link.wav")},    {"-o", dir.Path("list.m3u")},
        {"--tracklist", track}, {"--cue", dir.Path("list.m3u")}, {"-o", dir.Path("folder.wav")}};
    for (const auto& [option, path] : refused) {
        CHeadlessRenderer::Options o;
        o.inputs = {dir.Path("list.m3u")};
        o.output = dir.Path("out.wav");
        (option == "-o" ? o.output : option == "--cue" ? o.cueSheet : o.tracklist) = path;
        const RenderResult r = Render(o);
        EXPECT_EQ(r.code, CHeadlessRenderer::kUsage) << option << " " << path;
        EXPECT_NE(r.messages.find(path), std::string::npos) << r.messages;
    }
    EXPECT_EQ(ReadBytes(track), before);
    EXPECT_EQ(ReadTextFile(dir.Path("list.m3u")), "track.wav\n");
}

TEST(HeadlessRenderer, NamesWhoseStatusCannotBeReadAreNamedAndSkipped)
{
    CTempDir dir;
    const std::string track = WriteToneTrack(dir.Path("ok.wav"), 440.0, 1.0);
    const std::string longName = dir.Path(std::string(1000, 'n') + ".wav");
    symlink("loop.wav", dir.Path("loop.wav").c_str());
    std::ofstream(dir.Path("list.m3u")) << longName << "\n" << dir.Path("loop.wav") << "\nok.wav\n";
    for (const std::vector<std::string>& inputs :
         {std::vector<std::string>{longName, dir.Path("loop.wav"), track}, {dir.Path("list.m3u")}}) {
        CHeadlessRenderer::Options options;
        options.inputs = inputs;
        options.output = dir.Path("out.wav");
        const RenderResult result = Render(options);
        EXPECT_EQ(result.code, CHeadlessRenderer::kTracksSkipped) << result.messages;
        EXPECT_NE(result.messages.find("loop.wav"), std::string::npos) << result.messages;
        EXPECT_NE(result.messages.find("nnnn"), std::string::npos) << result.messages;
        EXPECT_EQ(result.summary.tracksPlayed, 1);
    }
}

TEST(HeadlessRenderer, TracksPlayAtTheirOwnLevelUnlessAskedOtherwise)
{
    CTempDir dir;
    std::vector<int16_t> samples(44100 * 2);
    const double amplitude = 32767.0 * std::pow(10.0, -1.0 / 20.0);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = Sine(static_cast<uint32_t>(i), 1000.0, amplitude);
    WriteStereoWav16(dir.Path("loud.wav"), samples, samples);
    CHeadlessRenderer::Options options;
    options.inputs = {dir.Path("loud.wav")};
    options.output = dir.Path("mix.wav");
    const RenderResult unity = Render(options);
    ASSERT_EQ(unity.code, CHeadlessRenderer::kOk) << unity.messages;
    EXPECT_NEAR(unity.summary.peakDb, -1.0, 0.3);
    options.masterVolume = 128;
    const RenderResult quiet = Render(options);
    EXPECT_NEAR(quiet.summary.peakDb, -10.9, 0.5);
}

TEST(HeadlessRenderer, TheTracklistAndCueSheetSayWhenEachTrackEntersTheWrittenFile)
{
    CTempDir dir;
    CPlaylist list;
    const char* titles[] = {"Opening", "Middle", "Closing"};
    for (int i = 0; i < 3; ++i) {
        const int index = list.AddTrack(
            WriteToneTrack(dir.Path("t" + std::to_string(i) + ".wav"), 500.0 + 100 * i, 10.0), false);
        list.Entry(index).title = titles[i];
        list.Entry(index).artist = "DJ Test";
        list.Entry(index).tempo = 120.0f + static_cast<float>(i);
    }
    list.SetTitle("Friday");
    ASSERT_TRUE(CXmlPlaylist::Save(list, dir.Path("set.qzl")));
    CHeadlessRenderer::Options options;
    options.inputs = {dir.Path("set.qzl")};
    options.fadeSeconds = 2.0f;
    options.fromSeconds = 4.0;
    options.tracklist = dir.Path("set.txt");
    options.cueSheet = dir.Path("set.cue");
    const RenderResult result = Render(options);
    ASSERT_EQ(result.code, CHeadlessRenderer::kOk) << result.messages;
    EXPECT_EQ(ReadTextFile(options.tracklist), "    0:00  A  DJ Test \xE2\x80\x93 Opening  120.0 BPM\n"
                                               "    0:04  B  DJ Test \xE2\x80\x93 Middle  121.0 BPM\n"
                                               "    0:12  A  DJ Test \xE2\x80\x93 Closing  122.0 BPM\n");
    const std::string cue = ReadTextFile(options.cueSheet);
    EXPECT_NE(cue.find("TITLE \"Friday\"\nFILE \"set.wav\" WAVE\n"), std::string::npos) << cue;
    EXPECT_NE(
        cue.find("TRACK 02 AUDIO\n    TITLE \"Middle\"\n    PERFORMER \"DJ Test\"\n    INDEX 01 00:04:00"),
        std::string::npos)
        << cue;
    EXPECT_NE(cue.find("INDEX 01 00:12:00"), std::string::npos) << cue;
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
                c.SetValue(ControlId::DeckStartStop, 0, 1, Marks::ChangedAndApply);
            if (t == 400)
                c.SetValue(ControlId::DeckStartStop, 1, 1, Marks::ChangedAndApply);
            if (t >= 400 && t < 900)
                c.SetValue(ControlId::XFader, 0, static_cast<int32_t>((t - 400) * 255 / 500),
                           Marks::ChangedAndApply);
        });
    }
    recording.FinishRecording();
    ASSERT_TRUE(recording.SaveDocument(dir.Path("mix.qzx")));

    CHeadlessRenderer::Options options;
    options.inputs = {dir.Path("mix.qzx")};
    options.blockTicks = 1;     // the live run served its loads before every tick
    options.masterVolume = 128; // the live core's own master level
    // Decoded on the rendering thread, then on a second one: the same replay.
    for (const int threads : {1, 2}) {
        options.threads = threads;
        const RenderResult result = Render(options);
        ASSERT_EQ(result.code, CHeadlessRenderer::kOk) << result.messages;
        const auto rendered = LeftChannel(ReadBytes(dir.Path("mix.wav")));
        // The transport starts in the first tick, then two ticks load the first tracks before
        // the mix moves; the mix ends when its last tick is due.
        ASSERT_EQ(rendered.size(), live.left.size() + 2 * 128);
        const std::vector<int16_t> replayed(rendered.begin() + 3 * 128, rendered.end());
        const std::vector<int16_t> expected(live.left.begin(), live.left.end() - 128);
        size_t firstDiff = 0;
        while (firstDiff < expected.size() && replayed[firstDiff] == expected[firstDiff])
            ++firstDiff;
        EXPECT_EQ(firstDiff, expected.size()) << threads << " threads, tick " << firstDiff / 128;
    }

    CTempDir empty;
    options = {};
    options.inputs = {empty.Path("nothing-here.qzl")};
    const RenderResult missing = Render(options);
    EXPECT_EQ(missing.code, CHeadlessRenderer::kNothingToPlay);
    EXPECT_NE(missing.messages.find("nothing-here.qzl"), std::string::npos);
}

// --analyse measures the tracks before the run: the tracklist shows the tempo found where the list
// gave none, keeps the one it gave, and the mix itself is the same bytes as without analysing.
// The cache file lands in the user's data folder.
TEST(HeadlessRenderer, AnalysedTracksShowTheirTempoAndTheMixStaysTheSame)
{
    CTempDir dir;
    setenv("XDG_DATA_HOME", dir.Root().c_str(), 1);
    CPlaylist list;
    const double tempos[] = {124.0, 97.5};
    for (int i = 0; i < 2; ++i) {
        BeatTrackRecipe recipe;
        recipe.tempo = tempos[i];
        recipe.seconds = 16.0;
        const StereoSignal signal = RenderBeatTrack(recipe);
        const std::string path = dir.Path("drums" + std::to_string(i) + ".wav");
        ASSERT_TRUE(WriteStereoWav16(path, signal.left, signal.right));
        const int index = list.AddTrack(path, true);
        ASSERT_GE(index, 0);
        list.Entry(index).title = "Drums " + std::to_string(i);
    }
    list.Entry(1).tempo = 100.0f; // from the list: stays
    ASSERT_TRUE(CXmlPlaylist::Save(list, dir.Path("set.qzl")));

    CHeadlessRenderer::Options options;
    options.inputs = {dir.Path("set.qzl")};
    options.fadeSeconds = 2.0f;
    options.output = dir.Path("plain.wav");
    const RenderResult plain = Render(options);
    ASSERT_EQ(plain.code, CHeadlessRenderer::kOk) << plain.messages;

    options.analyse = true;
    options.output = dir.Path("analysed.wav");
    options.tracklist = dir.Path("set.txt");
    const RenderResult analysed = Render(options);
    ASSERT_EQ(analysed.code, CHeadlessRenderer::kOk) << analysed.messages;
    EXPECT_EQ(ReadTextFile(options.tracklist), "    0:00  A  Drums 0  124.0 BPM\n"
                                               "    0:14  B  Drums 1  100.0 BPM\n");
    const auto plainBytes = ReadBytes(dir.Path("plain.wav"));
    const auto analysedBytes = ReadBytes(dir.Path("analysed.wav"));
    EXPECT_TRUE(plainBytes == analysedBytes) << "analysing alone changes nothing heard";
    struct stat cache {};
    EXPECT_EQ(::stat(dir.Path("quandel-player/analysis.txt").c_str(), &cache), 0);
}

namespace {

constexpr double kRate = 44100.0;
constexpr int kQuietBelow = 33; // -60 dBFS of full scale 32768

// A stereo tone of seconds at peak amplitude (1.0 = full scale) between stretches of silence.
void WritePaddedTone(const std::string& path, double hz, double amplitude, double leadSeconds,
                     double toneSeconds, double tailSeconds)
{
    const auto lead = static_cast<size_t>(leadSeconds * kRate);
    const auto tone = static_cast<size_t>(toneSeconds * kRate);
    std::vector<int16_t> samples(lead + tone + static_cast<size_t>(tailSeconds * kRate), 0);
    for (size_t i = 0; i < tone; ++i)
        samples[lead + i] = static_cast<int16_t>(
            std::lround(32767.0 * amplitude * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / kRate)));
    ASSERT_TRUE(WriteStereoWav16(path, samples, samples));
}

std::vector<int16_t> Interleaved(const std::vector<uint8_t>& wav)
{
    std::vector<int16_t> frames;
    for (size_t i = DataOffset(wav); i + 1 < wav.size(); i += 2)
        frames.push_back(static_cast<int16_t>(wav[i] | wav[i + 1] << 8));
    return frames;
}

// EBU R128 integrated loudness of the frames from fromSeconds to toSeconds.
double PartLoudness(const std::vector<int16_t>& interleaved, double fromSeconds, double toSeconds)
{
    const auto from = static_cast<size_t>(fromSeconds * kRate);
    const auto to = std::min(static_cast<size_t>(toSeconds * kRate), interleaved.size() / 2);
    CLoudnessMeter meter(44100);
    meter.Add(interleaved.data() + 2 * from, to - from);
    return meter.IntegratedLufs();
}

// The longest run below -60 dBFS between the first and the last sound of the mix, in frames.
size_t LongestInnerGap(const std::vector<int16_t>& left)
{
    const auto loud = [](int16_t s) { return std::abs(static_cast<int>(s)) >= kQuietBelow; };
    const auto first = std::find_if(left.begin(), left.end(), loud);
    const auto last = std::find_if(left.rbegin(), left.rend(), loud).base();
    return first < last ? LongestQuietRun(std::vector<int16_t>(first, last), kQuietBelow) : left.size();
}

} // namespace

// Tracks that start with silence and end in 8 s of it: skipping silence starts each at its
// first sound and fades it out up to its last, so the mix never falls silent between them;
// without it, every change-over waits through the silence.
TEST(HeadlessRenderer, SkippingSilenceLeavesNoGapBetweenTracks)
{
    CTempDir dir;
    setenv("XDG_DATA_HOME", dir.Root().c_str(), 1);
    std::vector<std::string> tracks;
    for (int i = 0; i < 3; ++i) {
        tracks.push_back(dir.Path("padded" + std::to_string(i) + ".wav"));
        WritePaddedTone(tracks.back(), 330.0 + 110.0 * i, 0.25, 1.0 + 0.5 * i, 12.0, 8.0);
    }
    CHeadlessRenderer::Options options;
    options.inputs = tracks;
    options.fadeSeconds = 3.0f;
    options.output = dir.Path("plain.wav");
    const RenderResult plain = Render(options);
    ASSERT_EQ(plain.code, CHeadlessRenderer::kOk) << plain.messages;
    const size_t plainGap = LongestInnerGap(LeftChannel(ReadBytes(options.output)));
    EXPECT_GT(plainGap, static_cast<size_t>(5.0 * kRate));

    for (const float fade : {3.0f, 0.0f}) {
        options.fadeSeconds = fade;
        options.skipSilence = true;
        options.analyse = true;
        options.output = dir.Path("skipped.wav");
        const RenderResult skipped = Render(options);
        ASSERT_EQ(skipped.code, CHeadlessRenderer::kOk) << skipped.messages;
        const std::vector<int16_t> left = LeftChannel(ReadBytes(options.output));
        const size_t gap = LongestInnerGap(left);
        EXPECT_LE(gap, static_cast<size_t>(0.020 * kRate)) << "fade " << fade << ": gap " << gap << " frames";
        // The mix ends with the last sound: three 12 s tones, overlapping by the fade.
        EXPECT_NEAR(left.size() / kRate, 36.0 - 2.0 * fade, 0.1) << "fade " << fade;
        std::printf("fade %.0f s: longest gap %zu frames (%.2f ms), mix %.2f s; without skipping %.2f s\n",
                    static_cast<double>(fade), gap, gap * 1000.0 / kRate, left.size() / kRate,
                    plainGap / kRate);
    }
}

// A pause counts from the last sound of the outgoing track, not from the end of its file.
TEST(HeadlessRenderer, SkippingSilenceCountsAPauseFromTheLastSound)
{
    CTempDir dir;
    setenv("XDG_DATA_HOME", dir.Root().c_str(), 1);
    std::vector<std::string> tracks;
    for (int i = 0; i < 2; ++i) {
        tracks.push_back(dir.Path("padded" + std::to_string(i) + ".wav"));
        WritePaddedTone(tracks.back(), 440.0, 0.25, 1.0, 6.0, 8.0);
    }
    CHeadlessRenderer::Options options;
    options.inputs = tracks;
    options.fadeSeconds = -2.0f;
    options.skipSilence = true;
    options.analyse = true;
    options.output = dir.Path("paused.wav");
    const RenderResult paused = Render(options);
    ASSERT_EQ(paused.code, CHeadlessRenderer::kOk) << paused.messages;
    const double gapSeconds = LongestInnerGap(LeftChannel(ReadBytes(options.output))) / kRate;
    EXPECT_NEAR(gapSeconds, 2.0, 0.05);
}

// Tracks mastered 10 dB apart play at the same loudness, -14 LUFS, when levelled.
TEST(HeadlessRenderer, LevellingPlaysTracksMasteredApartAtOneLoudness)
{
    CTempDir dir;
    setenv("XDG_DATA_HOME", dir.Root().c_str(), 1);
    const double amplitudes[] = {0.3, 0.3 / std::sqrt(10.0), 0.3};
    std::vector<std::string> tracks;
    for (int i = 0; i < 3; ++i) {
        tracks.push_back(dir.Path("level" + std::to_string(i) + ".wav"));
        WritePaddedTone(tracks.back(), 500.0 + 200.0 * i, amplitudes[i], 0.0, 12.0, 0.0);
    }
    CHeadlessRenderer::Options options;
    options.inputs = tracks;
    options.fadeSeconds = 2.0f;
    // Each track alone: from after the fade into it to before the fade out of it.
    const std::pair<double, double> parts[] = {{0.5, 9.5}, {12.5, 19.5}, {22.5, 31.5}};
    auto loudness = [&](bool level) {
        options.levelTracks = level;
        options.analyse = level;
        options.output = dir.Path(level ? "levelled.wav" : "plain.wav");
        const RenderResult result = Render(options);
        EXPECT_EQ(result.code, CHeadlessRenderer::kOk) << result.messages;
        const std::vector<int16_t> frames = Interleaved(ReadBytes(options.output));
        std::vector<double> lufs;
        for (const auto& [from, to] : parts)
            lufs.push_back(PartLoudness(frames, from, to));
        return lufs;
    };
    const std::vector<double> plain = loudness(false);
    EXPECT_NEAR(plain[0] - plain[1], 10.0, 0.5);
    const std::vector<double> levelled = loudness(true);
    for (size_t i = 0; i < levelled.size(); ++i) {
        EXPECT_NEAR(levelled[i], -14.0, 1.0) << "track " << i;
        std::printf("track %zu: %.2f LUFS as mastered, %.2f LUFS levelled\n", i, plain[i], levelled[i]);
    }
    EXPECT_NEAR(levelled[0], levelled[1], 1.0);
}

// With both options off, the mix of analysed tracks (audible ranges and loudness known) is the
// same bytes as the mix of tracks never analysed.
TEST(HeadlessRenderer, OptionsOffLeaveTheMixAsItWas)
{
    CTempDir dir;
    setenv("XDG_DATA_HOME", dir.Root().c_str(), 1);
    std::vector<std::string> tracks;
    for (int i = 0; i < 3; ++i) {
        tracks.push_back(dir.Path("padded" + std::to_string(i) + ".wav"));
        WritePaddedTone(tracks.back(), 330.0 + 110.0 * i, 0.1 + 0.2 * i, 1.0, 8.0, 4.0);
    }
    CHeadlessRenderer::Options options;
    options.inputs = tracks;
    options.fadeSeconds = 3.0f;
    options.output = dir.Path("absent.wav");
    ASSERT_EQ(Render(options).code, CHeadlessRenderer::kOk);
    options.analyse = true;
    options.skipSilence = false;
    options.levelTracks = false;
    options.output = dir.Path("off.wav");
    ASSERT_EQ(Render(options).code, CHeadlessRenderer::kOk);
    const auto absent = ReadBytes(dir.Path("absent.wav"));
    const auto off = ReadBytes(dir.Path("off.wav"));
    ASSERT_GT(absent.size(), 44u);
    EXPECT_TRUE(absent == off);
}
