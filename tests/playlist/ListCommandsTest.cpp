#include "ListCommands.h"

#include "CdReader.h"
#include "MediaDrives.h"
#include "Playlist.h"
#include "PlaylistTestSupport.h"
#include "TempDir.h"
#include "XmlPlaylist.h"

#include <gtest/gtest.h>

using Format = CListCommands::SaveFormat;
using Drop = CListCommands::DropAction;

TEST(ListCommands, TheExtensionChoosesTheSaveFormat)
{
    struct Case {
        const char* path;
        Format format;
    } const cases[] = {
        {"/l/case.qzl", Format::XmlList}, {"/l/CASE.QZL", Format::XmlList}, {"/l/mix.QzX", Format::MixFile},
        {"/l/list.m3u", Format::M3u},     {"/l/list.txt", Format::M3u},     {"/l/noext", Format::M3u},
        {"/l.qzl/x", Format::M3u},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CListCommands::FormatForSave(c.path), c.format) << c.path;
}

TEST(ListCommands, ChosenFilesAreAddedByTheirKind)
{
    CTempDir dir;
    CCdReader reader;
    CMediaDrives drives(reader);
    WriteTrackFile(dir.Path("a.mp3"));
    WriteTrackFile(dir.Path("b.wav"));
    ASSERT_TRUE(WriteFile(dir.Path("two.m3u"), "a.mp3\nb.wav\n"));
    CPlaylist source(drives);
    source.AddTrack(dir.Path("a.mp3"), false);
    ASSERT_TRUE(CXmlPlaylist::Save(source, dir.Path("one.QZL")));

    CPlaylist list(drives);
    list.AddTrack(dir.Path("existing.mp3"), false);
    list.SetTitle("kept");
    const int added = CListCommands::AddFiles(
        list, {dir.Path("one.QZL"), dir.Path("two.m3u"), dir.Path("b.wav"), dir.Path("c.txt")});
    EXPECT_EQ(added, 4);
    ASSERT_EQ(list.Count(), 5);
    EXPECT_EQ(list.Entry(0).title, "existing") << "lists are appended, never replace";
    EXPECT_EQ(list.Entry(1).location, dir.Path("a.mp3"));
    EXPECT_EQ(list.Entry(4).location, dir.Path("b.wav"));
}

TEST(ListCommands, OnlyTheFirstDroppedItemReplacesTheTimeLine)
{
    CTempDir dir;
    ASSERT_TRUE(MakeFolder(dir.Path("folder.mp3")));
    EXPECT_EQ(CListCommands::PlanDrop({"/m/a.mp3", "/m/b.WAV", "/m/c.mp3"}),
              (std::vector<Drop>{Drop::ReplaceWithTrack, Drop::AppendTrack, Drop::AppendTrack}));
    EXPECT_EQ(
        CListCommands::PlanDrop({dir.Path("folder.mp3"), "/m/l.M3U", "/m/l.qzl", "/m/x.QZX", "/m/a.mp3"}),
        (std::vector<Drop>{Drop::AddFolder, Drop::LoadM3u, Drop::LoadXmlList, Drop::LoadMixFile,
                           Drop::AppendTrack}));
}
