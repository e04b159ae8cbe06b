#include "CdWatcher.h"
#include "CdTestDisc.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Change = CCdWatcher::Change;

// Looks this often in the tests, so that each change is seen within milliseconds.
constexpr std::chrono::milliseconds kFastPeriod{5};

const CTestDisc& Disc()
{
    static const CTestDisc disc({{true, 150}, {true, 75}});
    return disc;
}

// The next change the watcher reports, waiting for it; nullopt when none comes.
std::optional<Change> NextChange(CCdWatcher& watcher)
{
    std::optional<Change> change;
    WaitUntil([&] { return (change = watcher.Take()).has_value(); });
    return change;
}

// Waits until the watcher has looked count more times: whatever it was going to report about
// the files as they are now, it has.
bool LookedAgain(const CCdWatcher& watcher, uint64_t count = 2)
{
    const uint64_t target = watcher.Looks() + count;
    return WaitUntil([&] { return watcher.Looks() >= target; });
}

// A fresh copy of the image, put in place by a rename so that no look sees it half written.
void PutImage(const CTempDir& dir, const std::string& name)
{
    const std::string folder = dir.Path(name);
    std::filesystem::create_directories(folder);
    Disc().Write(folder);
    std::filesystem::rename(folder + "/image.bin", dir.Path("disc/image.bin"));
}

TEST(CdWatcher, ADiscImageGoingAndComingBackIsReportedOnceEachInOrder)
{
    const CTempDir dir;
    std::filesystem::create_directories(dir.Path("disc"));
    const std::string cue = Disc().Write(dir.Path("disc"));
    CCdWatcher watcher(CCdWatcher::Target::DiscImage, cue, kFastPeriod);
    ASSERT_TRUE(WaitUntil([&] { return watcher.Looks() >= 1; }));
    EXPECT_TRUE(watcher.Present());
    ASSERT_TRUE(LookedAgain(watcher));
    EXPECT_EQ(watcher.Take(), std::nullopt) << "the first look and an unchanged disc report nothing";

    std::filesystem::remove(dir.Path("disc/image.bin"));
    EXPECT_EQ(NextChange(watcher), Change::Removal);
    EXPECT_FALSE(watcher.Present());
    ASSERT_TRUE(LookedAgain(watcher));
    EXPECT_EQ(watcher.Take(), std::nullopt) << "an absent disc stays reported once";

    PutImage(dir, "second");
    EXPECT_EQ(NextChange(watcher), Change::Arrival);
    EXPECT_TRUE(watcher.Present());

    // Another image in the same place is another disc: out, then in.
    PutImage(dir, "third");
    ASSERT_TRUE(LookedAgain(watcher));
    EXPECT_EQ(watcher.Take(), Change::Removal);
    EXPECT_EQ(watcher.Take(), Change::Arrival);
    EXPECT_EQ(watcher.Take(), std::nullopt);

    // The cue sheet written again counts as well.
    const auto stamp = std::filesystem::last_write_time(cue);
    std::filesystem::last_write_time(cue, stamp - 1h);
    ASSERT_TRUE(LookedAgain(watcher));
    EXPECT_EQ(watcher.Take(), Change::Removal);
    EXPECT_EQ(watcher.Take(), Change::Arrival);
}

TEST(CdWatcher, ChangesNobodyTookAreKeptAsTheirNetEffect)
{
    const CTempDir dir;
    std::filesystem::create_directories(dir.Path("disc"));
    const std::string cue = Disc().Write(dir.Path("disc"));
    CCdWatcher watcher(CCdWatcher::Target::DiscImage, cue, kFastPeriod);
    ASSERT_TRUE(WaitUntil([&] { return watcher.Looks() >= 1; }));

    // Out, in, out before anything is taken: the disc is out, and the disc that came and went
    // in between is nobody's business.
    std::filesystem::remove(dir.Path("disc/image.bin"));
    ASSERT_TRUE(WaitUntil([&] { return !watcher.Present(); }));
    PutImage(dir, "second");
    ASSERT_TRUE(WaitUntil([&] { return watcher.Present(); }));
    std::filesystem::remove(dir.Path("disc/image.bin"));
    ASSERT_TRUE(WaitUntil([&] { return !watcher.Present(); }));
    ASSERT_TRUE(LookedAgain(watcher));
    EXPECT_EQ(watcher.Take(), Change::Removal);
    EXPECT_EQ(watcher.Take(), std::nullopt);
}

TEST(CdWatcher, AnImageMissingAtTheStartIsAbsentQuietlyAndArrivesWhenWritten)
{
    const CTempDir dir;
    std::filesystem::create_directories(dir.Path("disc"));
    CCdWatcher watcher(CCdWatcher::Target::DiscImage, dir.Path("disc/image.cue"), kFastPeriod);
    ASSERT_TRUE(LookedAgain(watcher));
    EXPECT_FALSE(watcher.Present());
    EXPECT_EQ(watcher.Take(), std::nullopt);

    // Written in a side folder and renamed in, the sheet last: it names a complete image.
    std::filesystem::create_directories(dir.Path("side"));
    const std::string cue = Disc().Write(dir.Path("side"));
    std::filesystem::rename(dir.Path("side/image.bin"), dir.Path("disc/image.bin"));
    std::filesystem::rename(cue, dir.Path("disc/image.cue"));
    EXPECT_EQ(NextChange(watcher), Change::Arrival);
    EXPECT_TRUE(watcher.Present());
}

// Each of these holds no disc; a watcher looking at one reports nothing, never blocks and ends
// at once though it would look again only after an hour.
TEST(CdWatcher, WhatHoldsNoDiscIsAbsentWithoutAnError)
{
    const CTempDir dir;
    std::ofstream(dir.Path("not-a-sheet.cue")) << "FILE\n TRACK x\n";
    std::ofstream(dir.Path("orphan.cue"))
        << "FILE \"gone.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    ASSERT_EQ(::mkfifo(dir.Path("fifo.cue").c_str(), 0600), 0);
    std::ofstream(dir.Path("plain-file")) << "no device";
    struct Case {
        CCdWatcher::Target target;
        std::string path;
    };
    const std::vector<Case> cases = {
        {CCdWatcher::Target::Drive, dir.Path("sr7")}, // no such node
        {CCdWatcher::Target::Drive, "/dev/null"},     // a node of another kind
        {CCdWatcher::Target::Drive, dir.Path("plain-file")},
        {CCdWatcher::Target::DiscImage, dir.Path("missing.cue")},
        {CCdWatcher::Target::DiscImage, dir.Path("not-a-sheet.cue")},
        {CCdWatcher::Target::DiscImage, dir.Path("orphan.cue")},
        {CCdWatcher::Target::DiscImage, dir.Path("fifo.cue")}, // opening it would wait for a writer
    };
    for (const Case& c : cases) {
        CCdWatcher watcher(c.target, c.path, 1h);
        ASSERT_TRUE(WaitUntil([&] { return watcher.Looks() >= 1; })) << c.path;
        EXPECT_FALSE(watcher.Present()) << c.path;
        EXPECT_EQ(watcher.Take(), std::nullopt) << c.path;
        EXPECT_EQ(watcher.Path(), c.path);
    }
}

} // namespace
