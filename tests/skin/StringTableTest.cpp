// The string table: its line format against bad and hostile input, the language choice, and
// the two tables the program carries.
#include "StringTable.h"
#include "ResourceTable.h"
#include "StringIds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using Language = CStringTable::Language;

CStringTable::Strings ParseText(const std::string& text,
                                std::vector<CStringTable::ParseError>* errors = nullptr)
{
    return CStringTable::Parse(reinterpret_cast<const uint8_t*>(text.data()), text.size(), errors);
}

std::vector<uint8_t> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

const CStringTable& Shipped()
{
    return CStringTable::Program();
}

struct LineCase {
    const char* name;
    std::string input;
    CStringTable::Strings expected;
    std::vector<size_t> errorLines;
};

TEST(StringTable, ParsesGoodLinesAndSkipsBadOnesWithTheirLineNumbers)
{
    const std::string tooLong = "7 \"" + std::string(CStringTable::kMaxTextBytes + 1, 'x') + "\"";
    const std::string longest = "7 \"" + std::string(CStringTable::kMaxTextBytes, 'x') + "\"";
    const std::vector<LineCase> cases = {
        {"plain", "101 \"&About...\"\n", {{101, "&About..."}}, {}},
        {"escapes", "5 \"a\\nb\\tc\\\"d\\\\e\"", {{5, "a\nb\tc\"d\\e"}}, {}},
        {"blanks around", "  \t12 \t \"x y \"  \t\n", {{12, "x y "}}, {}},
        {"empty text", "9 \"\"", {{9, ""}}, {}},
        {"CRLF and BOM",
         "\xEF\xBB\xBF"
         "1 \"a\"\r\n2 \"b\"\r\n",
         {{1, "a"}, {2, "b"}},
         {}},
        {"comments and blank lines", "# 1 \"no\"\n\n   \n  # indented\n3 \"c\"", {{3, "c"}}, {}},
        {"UTF-8 kept",
         "4 \"\xC3\x9C"
         "ber \xE2\x82\xAC \xF0\x9F\x8E\xA7\"",
         {{4, "\xC3\x9C"
              "ber \xE2\x82\xAC \xF0\x9F\x8E\xA7"}},
         {}},
        {"highest id", "65535 \"z\"", {{65535, "z"}}, {}},
        {"longest text", longest, {{7, std::string(CStringTable::kMaxTextBytes, 'x')}}, {}},
        {"no id", "\"x\"\n2 \"b\"", {{2, "b"}}, {1}},
        {"id zero", "0 \"x\"", {}, {1}},
        {"id too large", "65536 \"x\"", {}, {1}},
        {"id of many digits", "99999999999999999999999 \"x\"", {}, {1}},
        {"negative id", "-3 \"x\"", {}, {1}},
        {"no blank after id", "12\"x\"", {}, {1}},
        {"no quote", "1 \"a\"\n12 x\n3 \"c\"", {{1, "a"}, {3, "c"}}, {2}},
        {"unclosed quote", "12 \"x", {}, {1}},
        {"text after quote", "12 \"x\" y", {}, {1}},
        {"unknown escape", "12 \"a\\q\"", {}, {1}},
        {"escape at the end", "12 \"a\\", {}, {1}},
        {"raw tab", "12 \"a\tb\"", {}, {1}},
        {"raw NUL", std::string("1 \"a\0b\"\n2 \"b\"", 13), {{2, "b"}}, {1}},
        {"raw DEL", "12 \"a\x7F\"", {}, {1}},
        {"broken UTF-8", "12 \"\xC3\x28\"", {}, {1}},
        {"overlong UTF-8", "12 \"\xC0\xAF\"", {}, {1}},
        {"surrogate in UTF-8", "12 \"\xED\xA0\x80\"", {}, {1}},
        {"cut UTF-8", "12 \"\xE2\x82\"", {}, {1}},
        {"above U+10FFFF", "12 \"\xF4\x90\x80\x80\"", {}, {1}},
        {"too long", tooLong, {}, {1}},
        {"id given twice keeps the first", "8 \"first\"\n8 \"second\"", {{8, "first"}}, {2}},
        {"empty input", "", {}, {}},
        {"only line feeds", "\n\n\n", {}, {}},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<CStringTable::ParseError> errors;
        EXPECT_EQ(ParseText(c.input, &errors), c.expected);
        std::vector<size_t> lines;
        for (const auto& e : errors) {
            lines.push_back(e.line);
            EXPECT_FALSE(e.reason.empty());
        }
        EXPECT_EQ(lines, c.errorLines);
    }
}

TEST(StringTable, EveryCutOfTheShippedTableKeepsTheLinesBeforeTheCut)
{
    const CResourceTable::Blob blob = CResourceTable::Program().Find(ResourceType::Strings, 1031);
    ASSERT_NE(blob.data, nullptr);
    const CStringTable::Strings& full = Shipped().Table(Language::German);
    for (size_t size = 0; size <= blob.size; ++size) {
        const CStringTable::Strings cut = CStringTable::Parse(blob.data, size);
        ASSERT_LE(cut.size(), full.size());
        size_t differing = 0;
        for (const auto& [id, text] : cut) {
            const auto it = full.find(id);
            ASSERT_NE(it, full.end()) << "cut at " << size;
            differing += it->second != text ? 1 : 0;
        }
        // Only the line the cut went through can be shorter than it is whole.
        ASSERT_LE(differing, 1u) << "cut at " << size;
    }
}

TEST(StringTable, RandomBytesGiveOnlyWellFormedStrings)
{
    std::mt19937 random(20011002);
    // Mostly the format's own characters, so that many lines get far into the parser.
    const std::string alphabet = "0123456789 \t\"\\nt#\r\n\xC3\x9C\xE2\x82\xAC\xFF\x80 az";
    for (int round = 0; round < 3000; ++round) {
        std::string input(random() % 200, '\0');
        for (char& c : input)
            c = random() % 4 == 0 ? static_cast<char>(random()) : alphabet[random() % alphabet.size()];
        for (const auto& [id, text] : ParseText(input)) {
            ASSERT_GE(id, 1);
            ASSERT_LE(id, CStringTable::kMaxId);
            ASSERT_LE(text.size(), CStringTable::kMaxTextBytes);
            ASSERT_EQ(text.find('\0'), std::string::npos);
        }
    }
}

TEST(StringTable, FallsBackToEnglishThenToEmpty)
{
    CResourceTable resources;
    resources.Add(ResourceType::Strings, 1033, Bytes("1 \"one\"\n2 \"two\"\n"));
    resources.Add(ResourceType::Strings, 1031, Bytes("1 \"eins\"\n9 \"neun\"\n"));
    CStringTable table(resources);
    EXPECT_EQ(table.GetLanguage(), Language::English);
    const char* one = table.Get(1);
    EXPECT_STREQ(one, "one");
    table.SetLanguage(Language::German);
    EXPECT_EQ(table.GetLanguage(), Language::German);
    EXPECT_STREQ(table.Get(1), "eins");
    EXPECT_STREQ(table.Get(2), "two");
    EXPECT_STREQ(table.Get(9), "neun");
    EXPECT_STREQ(table.Get(3), "");
    table.SetLanguage(Language::English);
    EXPECT_STREQ(table.Get(9), "");
    // Texts stay where they are while the language changes.
    EXPECT_EQ(table.Get(1), one);
}

TEST(StringTable, MissingResourcesGiveEmptyTexts)
{
    CResourceTable resources;
    resources.Add(ResourceType::Strings, 1031, Bytes("1 \"eins\""));
    CStringTable table(resources);
    EXPECT_STREQ(table.Get(1), "");
    table.SetLanguage(Language::German);
    EXPECT_STREQ(table.Get(1), "eins");
    EXPECT_TRUE(table.Table(Language::English).empty());
}

TEST(StringTable, LanguageFollowsTheLocaleName)
{
    const struct {
        const char* locale;
        Language language;
    } cases[] = {
        {"de_DE.UTF-8", Language::German},  {"de", Language::German},      {"de_AT", Language::German},
        {"de_CH.utf8", Language::German},   {"de@euro", Language::German}, {"de.UTF-8", Language::German},
        {"DE_de", Language::German},        {"C", Language::English},      {"", Language::English},
        {nullptr, Language::English},       {"POSIX", Language::English},  {"en_US.UTF-8", Language::English},
        {"fr_DE.UTF-8", Language::English}, {"d", Language::English},      {"dev", Language::English},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CStringTable::LanguageForLocale(c.locale), c.language) << (c.locale ? c.locale : "(null)");
}

TEST(StringTable, ShippedTablesParseWithoutErrorsAndHaveTheSameIds)
{
    for (const Language language : {Language::English, Language::German}) {
        for (const auto& e : Shipped().Errors(language))
            ADD_FAILURE() << "table " << static_cast<int>(language) << " line " << e.line << ": " << e.reason;
    }
    const auto& english = Shipped().Table(Language::English);
    const auto& german = Shipped().Table(Language::German);
    ASSERT_GT(english.size(), 150u);
    for (const auto& [id, text] : english) {
        EXPECT_EQ(german.count(id), 1u) << "German lacks " << id;
        EXPECT_FALSE(text.empty()) << id;
    }
    for (const auto& [id, text] : german) {
        EXPECT_EQ(english.count(id), 1u) << "English lacks " << id;
        EXPECT_FALSE(text.empty()) << id;
    }
}

TEST(StringTable, EnglishTextsAreExactlyAsTheProgramQuotesThem)
{
    const struct {
        int32_t id;
        const char* text;
    } quoted[] = {
        {101, "&About..."},
        {102, "Error on opening sound device, maybe allready in use ?\nPlease check your settings..."},
        {103, "Could not start mix playback.\n\nThere are tracks missing in the playlist\nwhich are needed "
              "in the mix."},
        {108, "Could not write ID3 tag !\n\nFile only readable or not accesible."},
        {109, "Tracks that are used in a mix can not be deleted from playlist."},
        {110, "Could not save playlist"},
        {111, "Setup"},
        {32846, "Choose folder to be added to playlist"},
        {32852,
         "Tracks and Playlists (.qzl; .m3u; .mp3; .wav;.cda)\n*.qzl;*.m3u;*.mp3;*.wav;*.cda\n"
         "Quandel Playlist (.qzl)\n*.qzl\nMP3 Playlist (.m3u)\n*.m3u\nMPEG Audio Layer 3 (.mp3)\n*.mp3\n"
         "Wave Files (.wav)\n*.wav\nAudio CD Tracks (.cda)\n*.cda\nAll Files (*.*)\n*.*\n\n"},
        {32854, "Quandel Playlist (.qzl)\n*.qzl\nQuandel Mix (.qzx)\n*.qzx\nMP3 Playlist (.m3u)\n*.m3u\n"
                "All Files\n*.*\n\n"},
        {32871, "Starts/Stops playback\n\nShortcut: [Return]"},
        {32917, "Displays the current auto fade time in seconds"},
        {32962, "Switches to Fullscreen Mode"},
        {33017, "Mix Monitor: Cueing"},
        {33032, "Transfers the playlist to the Time Line in random order"},
        {33042, "Play tracks in original order"},
        {33067, "https://www.kelmaric.example/quandel"},
        {17001, "&Play CD"},
        {17002, "&Load Playlist or Mix"},
        {17003, "&Add File(s)"},
        {17004, "Add &Directory"},
        {17005, "Play selected &Case"},
        {20501, "Add File(s)"},
        {20502, "Add Directory"},
        {20601, "Delete Selected Tracks"},
        {20602, "Clear All Tracks"},
        {10000, "About..."},
        {13500, "Audio"},
        {13501, "General"},
        {13502, "Device"},
        {13503, "Latency"},
        {13504, "ms"},
        {14500, "Preferences"},
        {14502, "Display Tooltips"},
        {14503, "Player"},
        {14504, "Default Audio CD Drive"},
        {14505, "Time Line"},
        {14506, "Standard track block size in Timeline view"},
        {14507, "Playlist"},
        {14508, "Include sub directories when adding directories"},
        {14510, "Skip silence"},
        {14511, "Level tracks"},
        {19400, "File Types"},
        {19401, "Register File Extensions"},
        {19402, "Make Quandel Player the standard application for the following\nfile types:"},
        {19403, "Kelmaric Music List (.QZL)"},
        {19404, "Kelmaric Music Mix (.QZX)"},
        {19405, "Music Playlist (.M3U)"},
        {19406, "Microsoft Wave (.WAV)"},
        {19407, "MPEG Layer 3  (.MP3)"},
        {19408, "CDDA Audio CD Tracks (.CDA)"},
        {19409, "Auto Detect Audio CD and Launch Player"},
        {19800, "Quandel - Playlist & Mix Info"},
        {19801, "Playlist Title"},
        {19802, "Mix Title"},
        {19803, "Comment"},
        {19804, "OK"},
        {19805, "Abbruch"},
        {20700, "Quandel - Play CD"},
        {20701, "Play"},
        {20702, "Cancel"},
    };
    const auto& english = Shipped().Table(Language::English);
    for (const auto& q : quoted) {
        const auto it = english.find(q.id);
        ASSERT_NE(it, english.end()) << q.id;
        EXPECT_EQ(it->second, q.text) << q.id;
    }
    // The internal error names its code and where to turn.
    const std::string outputStart = english.at(StringId::OutputStartError);
    EXPECT_NE(outputStart.find("OUTPUT_START"), std::string::npos);
    EXPECT_NE(outputStart.find("support@kelmaric.example"), std::string::npos);
}

TEST(StringTable, EveryTooltipOfTheMainWindowHasItsText)
{
    // The string ids of the main window's 69 tooltip rows.
    const int32_t rows[] = {
        32871, 32963, 32964, 32962, 32863, 32862, 32864, 32873, 32970, 32971, 32972, 32973, 32974, 32975,
        32977, 32976, 32978, 32978, 32979, 32979, 32917, 33016, 33015, 32920, 33017, 33017, 33018, 33018,
        33019, 33019, 33020, 33020, 33021, 33021, 33022, 33022, 33023, 33023, 33024, 33024, 33025, 33025,
        33026, 33027, 33028, 33029, 33030, 33031, 33032, 33033, 33034, 33035, 33036, 33037, 33038, 33039,
        33040, 33040, 33040, 33040, 32949, 32952, 32953, 32957, 32959, 32960, 32961, 32958, 32954};
    ASSERT_EQ(std::size(rows), 69u);
    for (const int32_t id : rows) {
        EXPECT_GE(id, StringId::FirstTooltip);
        EXPECT_LE(id, StringId::LastTooltip);
        for (const Language language : {Language::English, Language::German})
            EXPECT_EQ(Shipped().Table(language).count(id), 1u) << id << " in " << static_cast<int>(language);
    }
}

// Description and pattern lines in pairs, a line feed after each and one more at the end; the
// patterns are the same in every language.
TEST(StringTable, FileDialogFiltersArePairsWithTheSamePatternsInBothLanguages)
{
    const auto split = [](const std::string& filter) {
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end; (end = filter.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(filter.substr(start, end - start));
        EXPECT_EQ(start, filter.size()) << "text after the last line feed";
        return lines;
    };
    for (const int32_t id :
         {StringId::LocateFilter, StringId::AddFilesFilter, StringId::SaveFilter, StringId::LoadFilter}) {
        SCOPED_TRACE(id);
        const auto english = split(Shipped().Table(Language::English).at(id));
        const auto german = split(Shipped().Table(Language::German).at(id));
        ASSERT_EQ(english.size(), german.size());
        ASSERT_EQ(english.size() % 2, 1u);
        EXPECT_TRUE(english.back().empty());
        for (size_t i = 0; i + 1 < english.size(); ++i) {
            EXPECT_FALSE(english[i].empty()) << i;
            if (i % 2 == 1) {
                EXPECT_EQ(english[i].substr(0, 2), "*.") << i;
                EXPECT_EQ(german[i], english[i]) << i;
            }
        }
    }
}

TEST(StringTable, FormatsAndAddressesAgreeBetweenLanguages)
{
    const auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    const auto& english = Shipped().Table(Language::English);
    const auto& german = Shipped().Table(Language::German);
    for (const auto& [id, text] : english) {
        const std::string& other = german.at(id);
        EXPECT_EQ(count(text, "%"), count(other, "%")) << id;
        EXPECT_EQ(count(text, "&"), count(other, "&")) << id;
    }
    EXPECT_EQ(count(english.at(StringId::PlayCdMixOption), "%s"), 1u);
    EXPECT_EQ(german.at(StringId::MakerWebAddress), english.at(StringId::MakerWebAddress));
    EXPECT_NE(german.at(StringId::OutputStartError).find("OUTPUT_START"), std::string::npos);
    EXPECT_EQ(german.at(StringId::PreferencesTitle), "Einstellungen");
}

} // namespace
