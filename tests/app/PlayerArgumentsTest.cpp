#include "PlayerArguments.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <vector>

namespace {

PlayerArguments ParseLine(std::vector<const char*> line)
{
    line.insert(line.begin(), "quandel-player");
    return PlayerArguments::Parse(static_cast<int>(line.size()), line.data());
}

TEST(PlayerArguments, OneFileTheAudioCdSwitchesHelpAndVersion)
{
    const PlayerArguments file = ParseLine({"/music/set.qzl"});
    EXPECT_EQ(file.file, "/music/set.qzl");
    EXPECT_TRUE(file.error.empty());
    EXPECT_TRUE(ParseLine({"/AudioCD"}).audioCd);
    EXPECT_TRUE(ParseLine({"--audio-cd"}).audioCd);
    EXPECT_TRUE(ParseLine({"/AudioCD"}).file.empty()) << "the switch carries no file";
    EXPECT_TRUE(ParseLine({"--help"}).help);
    EXPECT_TRUE(ParseLine({"--version"}).version);
    EXPECT_EQ(ParseLine({"--", "--odd name.mp3"}).file.substr(0, 1), "/");
}

TEST(PlayerArguments, ARelativePathIsMadeAbsoluteForTheRunningPlayer)
{
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(ParseLine({"lists/../set.m3u"}).file, std::string(cwd) + "/set.m3u");
}

TEST(PlayerArguments, WrongLinesAreRefusedWithAReason)
{
    for (const auto& line : std::vector<std::vector<const char*>>{{"--bogus"}, {"a.qzl", "b.qzl"}, {""}}) {
        const PlayerArguments parsed = ParseLine(line);
        EXPECT_FALSE(parsed.error.empty()) << line.front();
    }
}

} // namespace
