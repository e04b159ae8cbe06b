#include "AudioEngine.h"
#include "CoreTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace {

// Three tone tracks in one list, the same in the recording and the replaying core.
void FillList(CPlayerCore& core, const CTempDir& dir)
{
    core.List().AddTrack(WriteToneTrack(dir.Path("one.wav"), 330.0, 12.0), true);
    core.List().AddTrack(WriteToneTrack(dir.Path("two.wav"), 550.0, 12.0), true);
    core.List().AddTrack(WriteToneTrack(dir.Path("three.wav"), 770.0, 12.0), true);
}

void Set(CPlayerCore& core, int32_t id, int channel, int32_t value)
{
    core.Controls().SetValue(id, channel, value, Marks::ChangedAndApply);
}

// A scripted performance: loads, starts, pitch and EQ moves, the filter, a loop, a scratch, a
// track change and cross-fader sweeps, tick by tick.
void Perform(CPlayerCore& core, uint32_t tick)
{
    CPlaylist& list = core.List();
    auto load = [&](int deck, int index) {
        core.LoadTrackToDeck(deck, list.Entry(index).location.c_str(), list.Entry(index).id);
    };
    switch (tick) {
    case 0:
        load(0, 0);
        load(1, 1);
        Set(core, ControlId::XFader, 0, 0);
        break;
    case 5:
        Set(core, ControlId::DeckStartStop, 0, 1);
        break;
    case 300:
        Set(core, ControlId::DeckStartStop, 1, 1);
        break;
    case 400:
        Set(core, ControlId::DeckPitch, 0, 2300);
        break;
    case 500:
        Set(core, ControlId::DeckEqLow, 1, 30);
        Set(core, ControlId::DeckEqHighKill, 0, 1);
        break;
    case 600:
        Set(core, ControlId::DeckBpActive, 1, 1);
        Set(core, ControlId::DeckBpCenter, 1, 90);
        break;
    case 700:
        Set(core, ControlId::DeckSetCue, 0, 4);
        break;
    case 800:
        Set(core, ControlId::DeckSetCue, 0, 5);
        Set(core, ControlId::DeckCueLoop, 0, 1);
        break;
    case 1100:
        Set(core, ControlId::DeckCueLoop, 0, 0);
        break;
    case 1200:
        Set(core, ControlId::DeckScratchOn, 1, 1);
        break;
    case 1500:
        Set(core, ControlId::DeckScratchOn, 1, 0);
        break;
    case 1700:
        load(0, 2);
        break;
    case 1710:
        Set(core, ControlId::DeckStartStop, 0, 1);
        break;
    default:
        break;
    }
    if (tick >= 1200 && tick < 1500)
        Set(core, ControlId::DeckScratch, 1, 32768 + static_cast<int32_t>((tick % 40 < 20 ? 1 : -1) * 600));
    if (tick >= 900 && tick < 2200) {
        const auto fader = static_cast<int32_t>(127.5 + 127.5 * std::sin(tick * 0.01));
        if (core.Controls().GetValue(ControlId::XFader, 0) != fader)
            Set(core, ControlId::XFader, 0, fader);
    }
}

constexpr uint32_t kPerformanceTicks = 2400;

} // namespace

TEST(MixReplay, ARecordedPerformanceReplaysToTheSameMainMix)
{
    CTempDir dir;
    CPlayerCore recording;
    FillList(recording, dir);
    CCoreRun live(recording);
    recording.StartRecording();
    for (uint32_t t = 0; t < kPerformanceTicks; ++t) {
        live.Tick([&] { Perform(recording, t); });
    }
    EXPECT_EQ(recording.FinishRecording(), kPerformanceTicks);
    recording.Mix().SetTitle("Test mix");
    recording.Mix().SetComment("recorded by the tests");
    const std::string mixPath = dir.Path("performance.qzx");
    ASSERT_TRUE(recording.SaveDocument(mixPath));

    // Replays twice into fresh cores from the saved file.
    std::vector<std::vector<int16_t>> replays;
    for (int run = 0; run < 2; ++run) {
        CPlayerCore core;
        ASSERT_TRUE(core.OpenDocument(mixPath));
        EXPECT_EQ(core.PlaybackModeValue(), CPlayerCore::kDjMix);
        EXPECT_EQ(core.Mix().Title(), "Test mix");
        EXPECT_EQ(core.List().Count(), 3);
        CCoreRun replay(core);
        core.SetRunStop(true);
        // The transport starts in the first tick's dispatch; two more ticks load the mix's first
        // tracks before the mix itself moves.
        replay.Ticks(kPerformanceTicks + 3);
        EXPECT_FALSE(core.Mix().Playing());
        // The Time Line shows the mix: its blocks, and a position that moved with the mix.
        EXPECT_GE(core.TimeLine().Count(), 2);
        EXPECT_EQ(core.TimeLine().DisplayMode(), CTimeLine::kRealLengths);
        replays.push_back(replay.left);
    }
    ASSERT_EQ(replays[0], replays[1]);

    const std::vector<int16_t>& played = replays[0];
    ASSERT_EQ(played.size(), live.left.size() + 3 * 128);
    // The mix ends when its last tick is due, so that tick is not played.
    size_t differing = 0;
    for (size_t i = 0; i + 128 < live.left.size(); ++i)
        differing += played[i + 3 * 128] != live.left[i] ? 1 : 0;
    EXPECT_EQ(differing, 0u);
    // The performance was really heard: the third track after the change on deck A.
    EXPECT_GT(WindowAmplitude(live.left, 770.0, 2000 * 128, 4096) +
                  WindowAmplitude(live.left, 550.0, 2000 * 128, 4096),
              500.0);
}

TEST(MixReplay, ALaggingDeckIsNudgedAndAFarOneSeeked)
{
    CTempDir dir;
    CPlayerCore recording;
    FillList(recording, dir);
    CCoreRun live(recording);
    recording.StartRecording();
    for (uint32_t t = 0; t < 400; ++t) {
        if (t == 0)
            recording.LoadTrackToDeck(0, recording.List().Entry(0).location.c_str(),
                                      recording.List().Entry(0).id);
        if (t == 2)
            Set(recording, ControlId::DeckStartStop, 0, 1);
        live.Tick();
    }
    recording.FinishRecording();
    ASSERT_TRUE(recording.SaveDocument(dir.Path("lag.qzx")));

    CPlayerCore core;
    ASSERT_TRUE(core.OpenDocument(dir.Path("lag.qzx")));
    CCoreRun replay(core);
    core.SetRunStop(true);
    replay.Ticks(2 + 100);
    EXPECT_NEAR(core.TimeLine().Position(), core.Mix().CurrentTick() * 128.0 / 44.1, 10.0);
    CDeckPlayer& deck = core.Engine().Deck(0);
    // Put the deck 100 frames behind: the next tick nudges by about +100/126.
    deck.SeekFrames(deck.PlayPosition() - 100);
    replay.Tick();
    EXPECT_NEAR(deck.Nudge(), 100.0f / 126.0f, 0.02f);
    replay.Ticks(3);
    EXPECT_FLOAT_EQ(deck.Nudge(), 0.0f);
    // 700 frames behind at speed 1.0 is past 512 + 128: the deck is seeked instead.
    deck.SeekFrames(deck.PlayPosition() - 700);
    replay.Tick();
    EXPECT_FLOAT_EQ(deck.Nudge(), 0.0f);
    replay.Tick();
    const int32_t recorded = core.Controls().Internal(ControlId::MixPlayPosition)->Value(0);
    EXPECT_LT(std::abs(static_cast<int32_t>(deck.PlayPosition()) - recorded), 200);
}

TEST(MixReplay, AMixWhoseTrackIsMissingFromTheListStopsAndKeepsTheDecks)
{
    CTempDir dir;
    CPlayerCore core;
    FillList(core, dir);
    // Track value 9 names no entry of a three-track list.
    core.Mix().SetStream({0x00, 0x04, 0x10, 9, 0x64, 0x00, 0x10, 1, 0x00, 0xC0, 0x00, 0x80}, 2);
    core.SetPlaybackMode(CPlayerCore::kDjMix);
    EXPECT_FALSE(core.MixTracksPresent());
    CCoreRun replay(core);
    core.SetRunStop(true);
    replay.Ticks(4);
    EXPECT_EQ(core.Controls().GetValue(ControlId::RunStop, 0), 0);
    // The list holds its tracks: the message names the value the list lacks, not missing files.
    EXPECT_STREQ(core.MixStartProblem(), "the mix names track 9, which its list does not hold");
    EXPECT_EQ(core.TakeMessage(), core.MixStartProblem());
    EXPECT_FALSE(core.Mix().Playing());
}

TEST(MixReplay, ASeekPastATrackChangeLoadsTheTrackOfTheTarget)
{
    CTempDir dir;
    CPlayerCore recording;
    FillList(recording, dir);
    CCoreRun live(recording);
    recording.StartRecording();
    CPlaylist& list = recording.List();
    for (uint32_t t = 0; t < 1400; ++t) {
        live.Tick([&] {
            if (t == 0 || t == 300) {
                const int index = t == 0 ? 0 : 2;
                recording.LoadTrackToDeck(0, list.Entry(index).location.c_str(), list.Entry(index).id);
            }
            if (t == 2 || t == 302)
                Set(recording, ControlId::DeckStartStop, 0, 1);
        });
    }
    EXPECT_EQ(recording.FinishRecording(), 1400u);
    // Only what changes is written: the track values once per change, not on every tick.
    EXPECT_LT(recording.Mix().Stream().size(), 1400u * 8);
    ASSERT_TRUE(recording.SaveDocument(dir.Path("change.qzx")));

    CPlayerCore core;
    ASSERT_TRUE(core.OpenDocument(dir.Path("change.qzx")));
    CCoreRun replay(core);
    core.SetRunStop(true);
    replay.Ticks(50);
    EXPECT_EQ(core.Engine().LoadedEntry(0), core.List().Entry(0).id);
    core.Mix().SeekTick(1024);
    replay.Ticks(20);
    EXPECT_EQ(core.Engine().LoadedEntry(0), core.List().Entry(2).id);
    EXPECT_TRUE(core.Engine().Deck(0).Playing());
}

namespace {

// A short performance on two 2.5 s tones: deck A from tick 2, deck B from tick 300 with the
// cross-fader moving over to it. Saved at path; returns where each tick starts in the stream.
std::vector<size_t> RecordShortMix(const CTempDir& dir, const std::string& path, uint32_t ticks)
{
    CPlayerCore recording;
    recording.List().AddTrack(WriteToneTrack(dir.Path("a.wav"), 440.0, 2.5), true);
    recording.List().AddTrack(WriteToneTrack(dir.Path("b.wav"), 660.0, 2.5), true);
    CCoreRun live(recording);
    recording.StartRecording();
    std::vector<size_t> tickStarts;
    CPlaylist& list = recording.List();
    for (uint32_t t = 0; t < ticks; ++t) {
        live.Tick([&] {
            tickStarts.push_back(recording.Recorder().StreamBytes());
            if (t == 0 || t == 250)
                recording.LoadTrackToDeck(t == 0 ? 0 : 1, list.Entry(t == 0 ? 0 : 1).location.c_str(),
                                          list.Entry(t == 0 ? 0 : 1).id);
            if (t == 2 || t == 300)
                Set(recording, ControlId::DeckStartStop, t == 2 ? 0 : 1, 1);
            if (t >= 300 && t % 4 == 0)
                Set(recording, ControlId::XFader, 0, static_cast<int32_t>(std::min<uint32_t>(255, t - 300)));
        });
    }
    recording.FinishRecording();
    EXPECT_TRUE(recording.SaveDocument(path));
    return tickStarts;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Where the event stream starts in a version-2 Mix-File: after the magic, the version, the tick
// count and the list block, and the stream's own size.
size_t StreamOffset(const std::vector<uint8_t>& file)
{
    const size_t listBytes = file[17] | file[18] << 8 | file[19] << 16 | static_cast<size_t>(file[20]) << 24;
    return 21 + listBytes + 4;
}

// Opens the mix as the offline renderer does and plays it. Returns the ticks until "RUN-STOP"
// went off or the DJ-Mix stopped playing, or limit + 1 when neither happened; -1 when the mix
// refused to start.
int64_t PlayToEnd(CPlayerCore& core, const std::string& path, uint32_t limit)
{
    EXPECT_TRUE(core.OpenDocument(path)) << path;
    if (core.PlaybackModeValue() == CPlayerCore::kDjMix) {
        core.SetPlaybackMode(CPlayerCore::kDjMix);
        if (!core.MixTracksPresent())
            return -1;
    }
    CCoreRun run(core);
    core.SetRunStop(true);
    for (uint32_t tick = 1; tick <= limit; ++tick) {
        run.Tick();
        const bool djMixOver = core.PlaybackModeValue() == CPlayerCore::kDjMix && !core.Mix().Playing();
        if (!core.RunStop() || djMixOver)
            return tick;
    }
    return int64_t{limit} + 1;
}

constexpr uint32_t kShortMixTicks = 700;
// Both tones once, one after the other in Automix, with time to spare.
constexpr uint32_t kShortListTicks = static_cast<uint32_t>(2 * 2.5 * 44100 / 128) + 200;

} // namespace

TEST(MixReplay, ADamagedMixPlaysUpToItsDamageOrHandsOverToItsList)
{
    struct Case {
        uint32_t damagedAt;
        int mode;
        const char* notice;
    };
    const Case cases[] = {
        {0, CPlayerCore::kAutomix,
         "the mix could not be read past tick 0 (0:00.00); its list plays in Automix instead"},
        {1, CPlayerCore::kAutomix,
         "the mix could not be read past tick 1 (0:00.00); its list plays in Automix instead"},
        {500, CPlayerCore::kDjMix, "the mix could not be read past tick 500 (0:01.45); it plays up to there"},
    };
    CTempDir dir;
    const std::string path = dir.Path("short.qzx");
    const std::vector<size_t> tickStarts = RecordShortMix(dir, path, kShortMixTicks);
    const std::vector<uint8_t> intact = ReadFileBytes(path);
    for (const Case& c : cases) {
        // The damaged tick starts with a marker whose position code no recorder writes.
        std::vector<uint8_t> damaged = intact;
        const size_t at = StreamOffset(damaged) + tickStarts[c.damagedAt];
        damaged[at] = 0x0F;
        damaged[at + 1] = 0x80;
        const std::string damagedPath = dir.Path("damaged.qzx");
        WriteFileBytes(damagedPath, damaged);

        CPlayerCore core;
        const int64_t ticks = PlayToEnd(core, damagedPath, kShortMixTicks + kShortListTicks);
        EXPECT_EQ(core.Mix().DamagedAtTick(), c.damagedAt);
        EXPECT_EQ(core.PlaybackModeValue(), c.mode) << c.damagedAt;
        EXPECT_STREQ(core.MixNotice(), c.notice);
        EXPECT_EQ(core.TakeMessage(), c.notice);
        if (c.mode == CPlayerCore::kDjMix) {
            // It played up to the damage (after the transport's tick and two of loading) and no further.
            EXPECT_GE(ticks, c.damagedAt) << c.damagedAt;
            EXPECT_LE(ticks, c.damagedAt + 4) << c.damagedAt;
        } else {
            // The list played once, both tracks, and stopped.
            EXPECT_GT(ticks, kShortListTicks - 400) << c.damagedAt;
            EXPECT_LE(ticks, kShortListTicks) << c.damagedAt;
        }
    }
}

TEST(MixReplay, ARecordingWithAFlippedBitEndsWithinItsTicksWhereverTheBitIs)
{
    CTempDir dir;
    const std::string path = dir.Path("short.qzx");
    RecordShortMix(dir, path, kShortMixTicks);
    const std::vector<uint8_t> intact = ReadFileBytes(path);
    const size_t stream = StreamOffset(intact);
    const size_t streamBytes = intact.size() - 4 - stream;
    // Offsets spread over the first tick (every channel, where the top bit of an id byte makes
    // an end marker of it) and the rest, one bit each.
    for (size_t i = 0; i < 16; ++i) {
        const size_t offset = i < 8 ? i * 29 + 1 : (i - 7) * (streamBytes / 9);
        std::vector<uint8_t> flipped = intact;
        flipped[stream + offset] ^= static_cast<uint8_t>(i < 8 ? 0x80 : 1u << (i * 3 % 8));
        const std::string flippedPath = dir.Path("flipped.qzx");
        WriteFileBytes(flippedPath, flipped);
        CPlayerCore core;
        const int64_t ticks = PlayToEnd(core, flippedPath, kShortMixTicks + kShortListTicks + 1);
        const std::string what = "offset " + std::to_string(offset);
        if (ticks < 0) {
            // Refused: with a reason, and not "tracks missing" while both are there.
            EXPECT_NE(std::string(core.MixStartProblem()), "") << what;
            EXPECT_NE(std::string(core.MixStartProblem()), CPlayerCore::kMixMissingTracks) << what;
            continue;
        }
        const uint32_t limit =
            core.PlaybackModeValue() == CPlayerCore::kDjMix ? core.Mix().TickCount() + 4 : kShortListTicks;
        EXPECT_LE(ticks, limit) << what;
        const uint32_t damagedAt = core.Mix().DamagedAtTick();
        if (damagedAt != CMixStream::kIntact) {
            EXPECT_NE(std::string(core.MixNotice()).find("past tick " + std::to_string(damagedAt) + " ("),
                      std::string::npos)
                << what;
        }
    }
}

TEST(MixReplay, AMixThatCannotStartSaysWhyAndPresentTracksAreNotCalledMissing)
{
    struct Case {
        const char* what;
        int32_t trackValue; // written over deck A's first track value (1)
        bool removeTrack;
        const char* problem;
    };
    const Case cases[] = {
        {"intact", 1, false, ""},
        {"a damaged track value", 7, false, "the mix names track 7, which its list does not hold"},
        {"a lost track file", 1, true, CPlayerCore::kMixMissingTracks},
    };
    for (const Case& c : cases) {
        CTempDir dir;
        const std::string path = dir.Path("short.qzx");
        RecordShortMix(dir, path, 400);
        std::vector<uint8_t> bytes = ReadFileBytes(path);
        // Deck A's track on the first tick: id 1024, channel 0, one byte, value 1.
        const std::vector<uint8_t> event = {0x00, 0x04, 0x10, 0x01};
        const auto found = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(StreamOffset(bytes)),
                                       bytes.end(), event.begin(), event.end());
        ASSERT_NE(found, bytes.end()) << c.what;
        found[3] = static_cast<uint8_t>(c.trackValue);
        WriteFileBytes(path, bytes);
        if (c.removeTrack)
            std::filesystem::remove(dir.Path("b.wav"));
        CPlayerCore core;
        const int64_t ticks = PlayToEnd(core, path, 400 + 4);
        EXPECT_STREQ(core.MixStartProblem(), c.problem) << c.what;
        EXPECT_EQ(core.MixTracksPresent(), *c.problem == '\0') << c.what;
        if (*c.problem != '\0') {
            EXPECT_EQ(ticks, -1) << c.what;
            // Asked to start anyway, the transport stays off and passes the reason on.
            CCoreRun run(core);
            core.SetRunStop(true);
            run.Tick();
            EXPECT_FALSE(core.RunStop()) << c.what;
            EXPECT_EQ(core.TakeMessage(), c.problem) << c.what;
        } else {
            EXPECT_GT(ticks, 390) << c.what;
            EXPECT_LE(ticks, 404) << c.what;
        }
    }
}

TEST(MixReplay, ASmallMixNamingNoTrackEndsAtOnce)
{
    // Three ticks setting the cross-fader, a pitch and an event for a function no mix drives
    // (where a track value used to be), with position payloads of every width.
    const std::vector<uint8_t> file = {0x0b, 'Q',  'U',  'A',  'N',  'D',  'E',  'L',  ' ',  'M',  'i',
                                       'x',  0x01, 0x03, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x05,
                                       0x00, 0x10, 0xc8, 0x65, 0x00, 0x21, 0x00, 0x01, 0x04, 0x04, 0x00,
                                       0x02, 0x00, 0x00, 0x00, 0x11, 0xc0, 0x10, 0x00, 0x00, 0x00, 0x20,
                                       0x00, 0x00, 0x00, 0x00, 0x80, 0x32, 0x80, 0x05, 0x07};
    ASSERT_EQ(file.size(), 53u);
    CTempDir dir;
    const std::string path = dir.Path("small.qzx");
    WriteFileBytes(path, file);
    CPlayerCore core;
    const int64_t ticks = PlayToEnd(core, path, 3 + 4);
    EXPECT_EQ(core.Mix().DamagedAtTick(), CMixStream::kIntact);
    EXPECT_EQ(core.PlaybackModeValue(), CPlayerCore::kAutomix);
    EXPECT_STREQ(core.MixNotice(), "the mix plays no track; nothing plays instead: its list is empty");
    EXPECT_GE(ticks, 1);
    EXPECT_LE(ticks, 3 + 4);
}
