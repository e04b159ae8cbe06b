#include "MixStream.h"
#include "ControlTable.h"
#include "MixRecorder.h"
#include "Playlist.h"
#include "TempDir.h"
#include "Tick.h"
#include "TimeLine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Consumes the apply-pending marks as the control host does after replay.
void ConsumePending(CControlTable& table)
{
    for (size_t i = 0; i < table.Count(); ++i)
        for (int c = 0; c < 2; ++c)
            table.At(i).TakeApplyPending(c);
    for (int32_t id = ControlId::MixTrackEntry; id <= ControlId::MixCuePointsB; ++id)
        for (int c = 0; c < 5; ++c)
            table.Internal(id)->TakeApplyPending(c);
}

// A control table with a mix registered on it, and a recorder filling the mix from the table.
struct MixBench {
    CControlTable table;
    CMixStream mix;
    CMixRecorder recorder{mix};
    MixBench() { mix.RegisterChannels(table); }

    // Records ticks; perTick(t) may change the table before tick t is recorded.
    void Record(
        uint32_t ticks, const std::function<void(uint32_t)>& perTick,
        const std::function<int32_t(uint32_t)>& position = [](uint32_t t) { return int32_t(t * 128); })
    {
        recorder.Start(1 << 20);
        for (uint32_t t = 0; t < ticks; ++t) {
            perTick(t);
            ASSERT_TRUE(recorder.RecordTick(position(t), position(t) / 2));
            ConsumePending(table);
        }
        recorder.Finish();
    }
};

} // namespace

TEST(MixStream, RegistersTheChannelsOfEveryDrivenFunctionInTheirOrder)
{
    MixBench bench;
    const auto& channels = bench.mix.Channels();
    // 1 + 1 + 25 functions of two channels + 2 x 5 cue points + 2 tracks.
    ASSERT_EQ(channels.size(), 2u + 25 * 2 + 10 + 2);
    EXPECT_EQ(channels.front().function->Id(), ControlId::XFader);
    EXPECT_EQ(channels.front().flags, CMixStream::kOverridable);
    EXPECT_EQ(channels[1].function->Id(), ControlId::XFaderMode);
    EXPECT_EQ(channels[1].flags, 0);
    EXPECT_EQ(channels.back().function->Id(), ControlId::MixTrackEntry);
    EXPECT_EQ(channels.back().channel, 1);
}

TEST(MixStream, RecordedTicksReplayTheSameValuesAndPositions)
{
    MixBench bench;
    bench.Record(
        600,
        [&](uint32_t t) {
            bench.table.SetValue(ControlId::XFader, 0, static_cast<int32_t>(t % 256), Marks::ChangedAndApply);
            bench.table.SetValue(ControlId::DeckPitch, 1, 2048 + static_cast<int32_t>(t),
                                 Marks::ChangedAndApply);
            bench.table.SetValue(ControlId::DeckScratch, 0, t == 300 ? 65536 : 32768, Marks::ChangedAndApply);
            bench.table.Internal(ControlId::MixCuePointsA)
                ->Set(2, t < 100 ? -5 : 1 << 20, Marks::ChangedAndApply);
        },
        [](uint32_t t) { return t == 200 ? 5000000 : static_cast<int32_t>(t * 128 + (t % 3)); });
    EXPECT_EQ(bench.mix.TickCount(), 600u);

    CControlTable replayed;
    CMixStream mix;
    mix.RegisterChannels(replayed);
    mix.SetStream(bench.mix.Stream(), bench.mix.TickCount());
    ConsumePending(replayed);
    mix.Play(true);
    for (uint32_t t = 0; t < 600; ++t) {
        int32_t a = 0, b = 0;
        ASSERT_TRUE(mix.ReadTick(true, true, &a, &b)) << t;
        ConsumePending(replayed);
        const int32_t expected = t == 200 ? 5000000 : static_cast<int32_t>(t * 128 + (t % 3));
        ASSERT_EQ(a, expected) << t;
        ASSERT_EQ(b, expected / 2) << t;
        ASSERT_EQ(replayed.GetValue(ControlId::XFader, 0), static_cast<int32_t>(t % 256));
        ASSERT_EQ(replayed.GetValue(ControlId::DeckPitch, 1), 2048 + static_cast<int32_t>(t));
        ASSERT_EQ(replayed.GetValue(ControlId::DeckScratch, 0), t == 300 ? 65536 : 32768);
        ASSERT_EQ(replayed.Internal(ControlId::MixCuePointsA)->Value(2), t < 100 ? -5 : 1 << 20);
    }
    EXPECT_FALSE(mix.ReadTick(true, true, nullptr, nullptr));
    EXPECT_FALSE(mix.Playing());
}

TEST(MixStream, SeeksLandOnMultiplesOf256BelowTheEnd)
{
    MixBench bench;
    bench.Record(1000, [](uint32_t) {});
    CMixStream& mix = bench.mix;
    mix.SeekTick(300);
    EXPECT_EQ(mix.CurrentTick(), 256u);
    mix.SeekTick(5000); // capped at 998, rounded down
    EXPECT_EQ(mix.CurrentTick(), 768u);
    mix.SeekBackward(2);
    EXPECT_EQ(mix.CurrentTick(), 256u);
    mix.SeekBackward(2);
    EXPECT_EQ(mix.CurrentTick(), 0u);
    mix.SeekForward(10);
    EXPECT_EQ(mix.CurrentTick(), 768u);

    // The positions after a seek are those of the tick before the target, not the old ones.
    int32_t a = 0;
    mix.SeekTick(512);
    ASSERT_TRUE(mix.ReadTick(true, false, &a, nullptr));
    EXPECT_EQ(a, 512 * 128);

    MixBench shortMix;
    shortMix.Record(2, [](uint32_t) {});
    shortMix.mix.ReadTick(true, false, nullptr, nullptr);
    shortMix.mix.SeekTick(1);
    EXPECT_EQ(shortMix.mix.CurrentTick(), 0u);
}

TEST(MixStream, MarkersFollowTrackChangesUpTo128AndDriveTheMarkerSeeks)
{
    MixBench bench;
    // A track change on deck B every 100 ticks from tick 1000 on: 200 changes, 128 kept.
    bench.Record(25000, [&](uint32_t t) {
        const int32_t track = t < 1000 ? 1 : 2 + static_cast<int32_t>((t - 1000) / 100);
        bench.table.Internal(ControlId::MixTrackEntry)->Set(1, track, Marks::ChangedAndApply);
    });
    const auto markers = bench.mix.Markers();
    ASSERT_EQ(markers.size(), 128u);
    EXPECT_EQ(markers[0], 1000u);
    EXPECT_EQ(markers[1], 1100u);

    CMixStream& mix = bench.mix;
    mix.SeekNextMarker(); // first marker above 0 + 256 is 1000 -> 1024
    EXPECT_EQ(mix.CurrentTick(), 1024u);
    mix.SeekNextMarker(); // above 1280: 1300 -> 1536
    EXPECT_EQ(mix.CurrentTick(), 1536u);
    mix.SeekPreviousMarker(); // below 1536 - 1024 = 512: none -> 0
    EXPECT_EQ(mix.CurrentTick(), 0u);
    mix.SeekTick(5000);
    mix.SeekPreviousMarker(); // from 4864: the last below 3840 is 3800 -> 3840
    EXPECT_EQ(mix.CurrentTick(), 3840u);
    mix.SeekTick(markers.back() + 300);
    mix.SeekNextMarker(); // beyond the last marker: the end
    EXPECT_EQ(mix.CurrentTick(), (25000u - 2) / 256 * 256);
}

TEST(MixStream, MovingOneOverridableChannelTakesOverOnlyThatChannel)
{
    MixBench bench;
    bench.Record(20, [&](uint32_t t) {
        for (int d = 0; d < 2; ++d) {
            bench.table.SetValue(ControlId::DeckEqLow, d, 100 + static_cast<int32_t>(t),
                                 Marks::ChangedAndApply);
            bench.table.SetValue(ControlId::DeckPitch, d, 2000 + static_cast<int32_t>(t),
                                 Marks::ChangedAndApply);
        }
    });
    CControlTable replayed;
    CMixStream mix;
    mix.RegisterChannels(replayed);
    mix.SetStream(bench.mix.Stream(), bench.mix.TickCount());
    ConsumePending(replayed);
    mix.Play(true);
    for (uint32_t t = 0; t < 20; ++t) {
        if (t == 10) {
            replayed.SetValue(ControlId::DeckEqLow, 0, 7, Marks::ChangedAndApply);  // the user's hand
            replayed.SetValue(ControlId::DeckPitch, 0, 99, Marks::ChangedAndApply); // not overridable
        }
        ASSERT_TRUE(mix.ReadTick(true, true, nullptr, nullptr));
        ConsumePending(replayed);
    }
    EXPECT_TRUE(mix.OverrideActive());
    EXPECT_TRUE(mix.TakenOver(ControlId::DeckEqLow, 0));
    EXPECT_FALSE(mix.TakenOver(ControlId::DeckEqLow, 1));
    EXPECT_EQ(replayed.GetValue(ControlId::DeckEqLow, 0), 7);
    EXPECT_EQ(replayed.GetValue(ControlId::DeckEqLow, 1), 119);
    EXPECT_EQ(replayed.GetValue(ControlId::DeckPitch, 0), 2019);

    // Play hands every channel back; a cross-fader take-over is released on its own.
    mix.Play(true);
    EXPECT_FALSE(mix.TakenOver(ControlId::DeckEqLow, 0));
    EXPECT_FALSE(mix.TakeOver(ControlId::XFader, 0, true));
    EXPECT_TRUE(mix.TakeOver(ControlId::XFader, 0, false));
    EXPECT_FALSE(mix.TakeOver(ControlId::DeckPitch + 1000, 0, true));
}

TEST(MixStream, BadStreamsEndTheReplayCleanlyWithoutReadingPastTheEnd)
{
    // One good tick sets deck A's volume to 77, then each case damages what follows. The mix
    // ends at the first tick that cannot be read.
    const std::vector<uint8_t> good = {0x66, 0x00, 0x10, 77, 0x00, 0xC0};
    struct Case {
        const char* what;
        std::vector<uint8_t> second;
        uint32_t tickCount;
        uint32_t damagedAt;
    };
    const Case cases[] = {
        {"ends inside an event", {0x66, 0x00, 0x20, 0x01}, 2, 1},
        {"ends inside a position", {0x01, 0x80, 0x12}, 2, 1},
        {"undefined width nibble", {0x66, 0x00, 0x30, 1, 0, 0x00, 0x80}, 2, 1},
        {"unknown position code", {0x05, 0x80}, 2, 1},
        {"marker with bits no recorder sets", {0x00, 0x81}, 2, 1},
        {"first-tick mark on a later tick", {0x00, 0xC0}, 2, 1},
        {"tick count that lies", {0x00, 0x80}, 1000, 2},
        {"no second tick at all", {}, 2, 1},
        {"more ticks than the count", {0x00, 0x80}, 1, 1},
    };
    for (const Case& c : cases) {
        CControlTable table;
        CMixStream mix;
        mix.RegisterChannels(table);
        std::vector<uint8_t> stream = good;
        stream.insert(stream.end(), c.second.begin(), c.second.end());
        mix.SetStream(stream, c.tickCount);
        // Known before the replay: the mix ends where the stream stopped being readable.
        EXPECT_EQ(mix.DamagedAtTick(), c.damagedAt) << c.what;
        EXPECT_EQ(mix.TickCount(), c.damagedAt) << c.what;
        ConsumePending(table);
        mix.Play(true);
        EXPECT_TRUE(mix.ReadTick(true, true, nullptr, nullptr)) << c.what;
        ConsumePending(table);
        int guard = 0;
        while (mix.ReadTick(true, true, nullptr, nullptr) && ++guard < 2000)
            ConsumePending(table);
        EXPECT_FALSE(mix.Playing()) << c.what;
        EXPECT_EQ(table.GetValue(ControlId::DeckVolume, 0), 77) << c.what;
        EXPECT_EQ(mix.CurrentTick(), c.damagedAt) << c.what;
    }

    // An event for a function the mix does not drive is skipped; the tick still counts.
    CControlTable table;
    CMixStream mix;
    mix.RegisterChannels(table);
    mix.SetStream({0x39, 0x05, 0x10, 9, 0x66, 0x00, 0x11, 50, 0x00, 0xC0}, 1);
    ConsumePending(table);
    mix.Play(true);
    EXPECT_TRUE(mix.ReadTick(true, true, nullptr, nullptr));
    EXPECT_EQ(table.GetValue(ControlId::DeckVolume, 1), 50);
    EXPECT_EQ(mix.DamagedAtTick(), CMixStream::kIntact);
}

TEST(MixStream, AFlippedBitInAnyMarkerEndsTheMixAtThatTickOrLater)
{
    // Deck A's track and position are set on the first tick only, so every later tick is one
    // bare marker: tick t (t >= 1) starts at first + 2 (t - 1).
    MixBench bench;
    bench.Record(
        300, [&](uint32_t) { bench.table.Internal(ControlId::MixTrackEntry)->Set(0, 1, Marks::None); },
        [](uint32_t) { return 4410; });
    const std::vector<uint8_t> stream = bench.mix.Stream();
    const size_t first = stream.size() - 2 * 299;
    ASSERT_EQ(bench.mix.DamagedAtTick(), CMixStream::kIntact);
    for (uint32_t tick : {1u, 150u, 299u}) {
        for (int bit = 0; bit < 16; ++bit) {
            std::vector<uint8_t> damaged = stream;
            const size_t marker = first + 2 * (tick - 1);
            damaged[marker + static_cast<size_t>(bit / 8)] ^= static_cast<uint8_t>(1 << (bit % 8));
            CControlTable table;
            CMixStream mix;
            mix.RegisterChannels(table);
            mix.SetStream(damaged, 300);
            const std::string what = "tick " + std::to_string(tick) + " bit " + std::to_string(bit);
            // The flags bits no recorder sets (8..13) and a late first-tick mark (14) are caught
            // on the tick itself; a changed code or a cleared bit 15 reads on out of step until
            // the bytes make no sense.
            if (bit >= 8 && bit <= 14)
                EXPECT_EQ(mix.DamagedAtTick(), tick) << what;
            else
                EXPECT_GE(mix.DamagedAtTick(), tick) << what;
            EXPECT_EQ(mix.TickCount(), std::min<uint32_t>(mix.DamagedAtTick(), 300)) << what;
            mix.Play(true);
            uint32_t read = 0;
            while (read <= 300 && mix.ReadTick(true, true, nullptr, nullptr))
                ++read;
            EXPECT_EQ(read, mix.TickCount()) << what;
            EXPECT_FALSE(mix.Playing()) << what;
        }
    }
}

namespace {

std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A saved two-track mix of 300 ticks; returns its path.
std::string SaveSampleMix(const CTempDir& dir, const std::string& name, const std::string& title)
{
    MixBench bench;
    bench.Record(300, [&](uint32_t t) {
        bench.table.Internal(ControlId::MixTrackEntry)->Set(0, 1, Marks::None);
        bench.table.Internal(ControlId::MixTrackEntry)->Set(1, t < 100 ? 0 : 2, Marks::None);
    });
    CPlaylist list;
    list.AddTrack(dir.Path("one.wav"), false);
    list.AddTrack(dir.Path("two.wav"), false);
    bench.mix.SetTitle(title);
    bench.mix.SetComment("a comment");
    const std::string path = dir.Path(name);
    EXPECT_TRUE(bench.mix.Save(path.c_str(), list));
    return path;
}

} // namespace

TEST(MixStream, SaveThenLoadGivesTheSameStreamTitleCommentAndList)
{
    CTempDir dir;
    const std::string path = SaveSampleMix(dir, "set.qzx", "Friday set");
    const auto bytes = FileBytes(path);
    ASSERT_GT(bytes.size(), 20u);
    EXPECT_EQ(std::string(bytes.begin() + 1, bytes.begin() + 12), "QUANDEL Mix");
    EXPECT_EQ(bytes[12], 2);
    EXPECT_EQ(std::string(bytes.end() - 3, bytes.end()), "END");

    CControlTable table;
    CMixStream mix;
    mix.RegisterChannels(table);
    CPlaylist list;
    ASSERT_TRUE(mix.Load(path.c_str(), &list));
    EXPECT_EQ(mix.TickCount(), 300u);
    EXPECT_EQ(mix.Title(), "Friday set");
    EXPECT_EQ(mix.Comment(), "a comment");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Entry(1).location, dir.Path("two.wav"));
    EXPECT_EQ(mix.Markers(), std::vector<uint32_t>{100});
    // Saved again, the stream is byte for byte what was loaded.
    const std::string again = dir.Path("again.qzx");
    ASSERT_TRUE(mix.Save(again.c_str(), list));
    CMixStream reloaded;
    ASSERT_TRUE(reloaded.Load(again.c_str(), nullptr));
    EXPECT_EQ(reloaded.Stream(), mix.Stream());
}

TEST(MixStream, ContainerVersionsTrailersAndTitlesLoadAsTheFormatSays)
{
    CTempDir dir;
    const auto good = FileBytes(SaveSampleMix(dir, "base.qzx", ""));
    auto load = [&](const std::string& name, const std::vector<uint8_t>& bytes, CPlaylist* list,
                    CMixStream& mix) {
        WriteBytes(dir.Path(name), bytes);
        return mix.Load(dir.Path(name).c_str(), list);
    };
    // Wrong magic or a newer version: refused, the mix left empty.
    {
        CMixStream mix;
        auto bad = good;
        bad[3] = 'X';
        EXPECT_FALSE(load("magic.qzx", bad, nullptr, mix));
        bad = good;
        bad[12] = 3;
        EXPECT_FALSE(load("v3.qzx", bad, nullptr, mix));
        EXPECT_EQ(mix.TickCount(), 0u);
    }
    // A damaged or missing trailer: an empty mix, but the list inside it is loaded.
    for (size_t cut : {size_t{1}, size_t{4}}) {
        CMixStream mix;
        CPlaylist list;
        auto damaged = good;
        damaged.resize(good.size() - cut);
        if (cut == 1)
            damaged.back() = 'N'; // "EN" + a stray byte
        EXPECT_TRUE(load("trailer.qzx", damaged, &list, mix));
        EXPECT_EQ(mix.TickCount(), 0u);
        EXPECT_EQ(list.Count(), 2);
    }
    // Version 1: no list and no trailer, only the stream.
    {
        CMixStream source;
        ASSERT_TRUE(source.Load(dir.Path("base.qzx").c_str(), nullptr));
        const auto stream = source.Stream();
        std::vector<uint8_t> v1 = {11, 'Q', 'U', 'A', 'N', 'D', 'E', 'L', ' ', 'M', 'i', 'x', 1, 44, 1, 0, 0};
        const auto n = static_cast<uint32_t>(stream.size());
        for (int i = 0; i < 4; ++i)
            v1.push_back(static_cast<uint8_t>(n >> (8 * i)));
        v1.insert(v1.end(), stream.begin(), stream.end());
        CMixStream mix;
        CPlaylist list;
        EXPECT_TRUE(load("old.qzx", v1, &list, mix));
        EXPECT_EQ(mix.TickCount(), 300u);
        EXPECT_EQ(list.Count(), 0);
        // No title in the file: the file's name, except for "last".
        EXPECT_EQ(mix.Title(), "old");
        CMixStream last;
        EXPECT_TRUE(load("Last.qzx", v1, nullptr, last));
        EXPECT_EQ(last.Title(), "untitled");
    }
    // Truncated anywhere: never more than the bytes hold.
    for (size_t size = 0; size < good.size(); size += 97) {
        CMixStream mix;
        CPlaylist list;
        load("cut.qzx", std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size)),
             &list, mix);
        mix.Play(true);
        while (mix.ReadTick(true, false, nullptr, nullptr)) {
        }
        EXPECT_LE(mix.CurrentTick(), mix.TickCount());
    }
}

TEST(MixStream, TheTimeLineCountsADeckAudibleOnlyInsideTheCrossFaderLimits)
{
    // Deck A plays track 1 throughout, deck B track 2 from tick 100. The cross-fader stays at
    // 240 (deck A silent) until tick 200, then at 16 (deck B silent) from tick 400.
    MixBench bench;
    bench.Record(600, [&](uint32_t t) {
        bench.table.Internal(ControlId::MixTrackEntry)->Set(0, 1, Marks::None);
        bench.table.Internal(ControlId::MixTrackEntry)->Set(1, t < 100 ? 0 : 2, Marks::None);
        bench.table.SetValue(ControlId::XFader, 0,
                             t < 200   ? 240
                             : t < 400 ? 128
                                       : 16,
                             Marks::ChangedAndApply);
    });
    CTimeLine line;
    bench.mix.BuildTimeLine(line);
    ASSERT_EQ(line.Count(), 2);
    const double tickMs = kTickMs;
    // B first: audible from tick 100 to 399; A from 200 to the end.
    EXPECT_EQ(line.Item(0)->deck, 1);
    EXPECT_EQ(line.Item(0)->track, 1);
    EXPECT_EQ(line.Item(0)->start, static_cast<int32_t>(100 * tickMs));
    EXPECT_EQ(line.Item(0)->length, static_cast<int32_t>(299 * tickMs));
    EXPECT_EQ(line.Item(1)->deck, 0);
    EXPECT_EQ(line.Item(1)->track, 0);
    EXPECT_EQ(line.Item(1)->start, static_cast<int32_t>(200 * tickMs));
}

TEST(MixStream, OnlyARegularFileIsReadAndAnythingElseIsRefusedAtOnce)
{
    CTempDir dir;
    const std::string fifo = dir.Path("pipe.qzx");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir.Path("folder.qzx");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::string garbage = dir.Path("garbage.qzx");
    WriteBytes(garbage, {'n', 'o', 't', ' ', 'a', ' ', 'm', 'i', 'x'});
    struct Case {
        std::string path;
        const char* error;
    };
    const Case cases[] = {
        {fifo, "is not a regular file"},
        {folder, "is not a regular file"},
        {"/dev/null", "is not a regular file"},
        {dir.Path("none.qzx"), "cannot be opened: No such file or directory"},
        {garbage, "is not a Mix-File"},
    };
    for (const Case& c : cases) {
        CMixStream mix;
        CPlaylist list;
        // A reader that waits for a writer would hang the test: it runs on its own thread, and
        // a deadline passed opens the FIFO's other end so that the reader comes back.
        std::promise<bool> done;
        std::future<bool> result = done.get_future();
        std::thread reader([&] { done.set_value(mix.Load(c.path.c_str(), &list)); });
        const bool inTime = result.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        if (!inTime) {
            const int writer = ::open(c.path.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
        }
        reader.join();
        ASSERT_TRUE(inTime) << c.path << ": the reader waited";
        EXPECT_FALSE(result.get()) << c.path;
        EXPECT_EQ(mix.LoadError(), c.error) << c.path;
        EXPECT_EQ(mix.TickCount(), 0u) << c.path;
    }
    // A success leaves no reason behind.
    CMixStream mix;
    ASSERT_TRUE(mix.Load(SaveSampleMix(dir, "good.qzx", "").c_str(), nullptr));
    EXPECT_EQ(mix.LoadError(), "");
}

TEST(MixStream, ADamagedStreamIsSavedBackAsItCameAndStaysDamaged)
{
    CTempDir dir;
    const std::string path = SaveSampleMix(dir, "set.qzx", "set");
    CMixStream source;
    ASSERT_TRUE(source.Load(path.c_str(), nullptr));
    std::vector<uint8_t> stream = source.Stream();
    // The last tick is a marker whose positions both moved by one byte's worth (codes 2 and
    // 0x20, one payload byte each); an unknown code for deck A leaves ticks 0..298 readable.
    ASSERT_EQ(stream[stream.size() - 4], 0x22);
    stream[stream.size() - 4] |= 0x0F;
    CMixStream mix;
    mix.SetStream(stream, 300);
    EXPECT_EQ(mix.DamagedAtTick(), 299u);
    EXPECT_EQ(mix.TickCount(), 299u);
    CPlaylist list;
    list.AddTrack(dir.Path("one.wav"), false);
    const std::string again = dir.Path("again.qzx");
    ASSERT_TRUE(mix.Save(again.c_str(), list));
    CMixStream reloaded;
    ASSERT_TRUE(reloaded.Load(again.c_str(), nullptr));
    EXPECT_EQ(reloaded.Stream(), stream);
    EXPECT_EQ(reloaded.DamagedAtTick(), 299u);
    // The count the file came with, not the one the damage left.
    const auto bytes = FileBytes(again);
    EXPECT_EQ(bytes[13] | bytes[14] << 8, 300);
}
