#include "DocumentKind.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

TEST(DocumentKind, ThePathsExtensionDecidesInAnyCaseAndAFolderIsAFolderWhateverItsName)
{
    CTempDir dir;
    mkdir(dir.Path("crate.qzl").c_str(), 0755);
    const struct {
        std::string path;
        DocumentKind kind;
    } cases[] = {
        {"/m/set.qzl", DocumentKind::XmlList},         {"/m/SET.QZL", DocumentKind::XmlList},
        {"/m/set.m3u", DocumentKind::M3uList},         {"/m/set.M3u", DocumentKind::M3uList},
        {"/m/mix.qzx", DocumentKind::MixFile},         {"/m/track.mp3", DocumentKind::Track},
        {"/m/track.wav", DocumentKind::Track},         {"/m/notes.txt", DocumentKind::Track},
        {"/m.qzl/track", DocumentKind::Track},         {dir.Root(), DocumentKind::Folder},
        {dir.Path("crate.qzl"), DocumentKind::Folder},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DocumentKindOf(c.path), c.kind) << c.path;
}
