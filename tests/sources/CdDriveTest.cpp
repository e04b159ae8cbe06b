#include "CdDrive.h"
#include "CdDevice.h"
#include "CdDiscImage.h"
#include "CdTestDisc.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::array<uint8_t, 36> InquiryOf(const char* vendor)
{
    std::array<uint8_t, 36> inquiry{};
    inquiry[0] = 5; // CD-ROM
    std::memset(inquiry.data() + 8, ' ', 24);
    std::memcpy(inquiry.data() + 8, vendor, std::min<size_t>(std::strlen(vendor), 8));
    return inquiry;
}

// Points the drive setting at an image for the life of the object.
struct ImageSetting {
    explicit ImageSetting(const std::string& cue) { CCdDrive::SetDiscImage(cue); }
    ~ImageSetting() { CCdDrive::SetDiscImage(""); }
};

struct Chunk {
    uint32_t first;
    uint32_t end;
    uint32_t bytes;
    std::vector<uint8_t> data;
};

std::vector<Chunk> ReadAll(CCdDrive& drive, uint32_t first, uint32_t end, int& result)
{
    std::vector<Chunk> chunks;
    drive.SetRange(first, end);
    result = drive.ReadRange([&](uint32_t n, uint32_t e, uint32_t bytes, const CCdDrive& d) {
        chunks.push_back({n, e, bytes, std::vector<uint8_t>(d.Buffer(), d.Buffer() + (n < e ? bytes : 0))});
    });
    return chunks;
}

} // namespace

TEST(CdDrive, ReadCommandAndSectorSizeFollowTheDrivesMake)
{
    struct Case {
        const char* vendor;
        bool mmc;
        int command;
        int sectorBytes;
    } const cases[] = {
        {"PLEXTOR", false, 2, 2352}, {"PLEXTOR", true, 3, 2352},   {"TOSHIBA", false, 0, 2368},
        {"TOSHIBA", true, 3, 2352},  {"IBM", false, 0, 2368},      {"DEC", false, 0, 2368},
        {"NEC", false, 1, 2352},     {"SONY", false, 2, 2352},     {"HP", false, 0, 2352},
        {"PHILIPS", false, 0, 2352}, {"MATSHITA", false, 0, 2352}, {"CyberDrv", false, 0, 2352},
        {"RICOH", false, 2, 2352},   {"ACME", false, 2, 2352},     {"ACME", true, 3, 2352},
    };
    for (const Case& c : cases) {
        const auto inquiry = InquiryOf(c.vendor);
        const CdDriveSettings settings = CCdDrive::ChooseSettings(inquiry.data(), c.mmc);
        EXPECT_EQ(settings.readCommand, c.command) << c.vendor << " mmc " << c.mmc;
        EXPECT_EQ(settings.sectorBytes, c.sectorBytes) << c.vendor << " mmc " << c.mmc;
    }
}

TEST(CdDrive, DevicesAreListedInNumberOrderOnly)
{
    CTempDir dir;
    for (const char* name : {"sr10", "sr2", "sr0", "sda", "sr", "sr1a", "scd0", "sr1"})
        std::ofstream(dir.Path(name)).put('x');
    const std::vector<std::string> devices = CCdDrive::ListDevices(dir.Root().c_str());
    const std::vector<std::string> expected = {dir.Path("sr0"), dir.Path("sr1"), dir.Path("sr2"),
                                               dir.Path("sr10")};
    EXPECT_EQ(devices, expected);
    EXPECT_TRUE(CCdDrive::ListDevices("/nonexistent-folder").empty());
}

TEST(CdDrive, TableOfContentsParserRefusesShortLyingAndDisorderedAnswers)
{
    // Two audio tracks at 00:02:00 and 01:00:00, lead-out at 02:00:00.
    const std::vector<uint8_t> good = {0, 26, 1, 2, 0, 0x10, 1, 0,    0,    0, 2, 0, 0, 0x10,
                                       2, 0,  0, 1, 0, 0,    0, 0x10, 0xAA, 0, 0, 2, 0, 0};
    CdToc toc;
    ASSERT_EQ(CCdDrive::ParseToc(good.data(), good.size(), toc), CCdDrive::kStatusOk);
    EXPECT_EQ(toc.trackCount, 2);
    EXPECT_EQ(CCdDrive::MsfSectors(toc.length[0]), 4500u - 150u);
    EXPECT_EQ(CCdDrive::MsfSectors(toc.length[1]), 4500u);

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> bad = {{"empty", {}}, {"header only", {0, 2, 1, 2}}};
    bad.push_back({"cut before the lead-out", std::vector<uint8_t>(good.begin(), good.end() - 8)});
    auto lying = good;
    lying[1] = 18; // says the lead-out is not there
    bad.push_back({"length field hides the lead-out", lying});
    auto disordered = good;
    disordered[17] = 0; // track 2 starts at 00:00:00
    bad.push_back({"start inside the pre-gap", disordered});
    auto backwards = good;
    backwards[25] = 1; // lead-out where track 2 starts
    bad.push_back({"lead-out before the last track", backwards});
    auto badMsf = good;
    badMsf[18] = 60;
    bad.push_back({"second 60", badMsf});
    auto missing = good;
    missing[3] = 3; // claims a third track it does not list
    bad.push_back({"missing track", missing});
    for (const Case& c : bad) {
        CdToc parsed;
        parsed.trackCount = 7;
        EXPECT_EQ(CCdDrive::ParseToc(c.bytes.data(), c.bytes.size(), parsed), CCdDrive::kStatusReadFailed)
            << c.name;
        EXPECT_EQ(parsed.trackCount, 0) << c.name;
    }
}

TEST(CdDrive, ImageDiscsGiveTheirTablesOfContents)
{
    struct Case {
        const char* name;
        std::vector<CTestDisc::Track> tracks;
        int trackCount;
        std::vector<uint32_t> lengths; // sectors
    } const cases[] = {
        {"mixed mode", {{false, 1000}, {true, 22050}, {true, 300}}, 3, {0, 22050, 300}},
        {"data only", {{false, 500}}, 0, {}},
        {"audio only", {{true, 75}, {true, 76}}, 2, {75, 76}},
    };
    for (const Case& c : cases) {
        CTempDir dir;
        const ImageSetting setting(CTestDisc(c.tracks).Write(dir.Root()));
        CCdDrive drive;
        ASSERT_EQ(drive.Init('d'), CCdDrive::kStatusOk) << c.name;
        EXPECT_EQ(drive.Method(), 0);
        ASSERT_EQ(drive.ReadToc(), CCdDrive::kStatusOk) << c.name;
        EXPECT_EQ(drive.Toc().trackCount, c.trackCount) << c.name;
        for (size_t t = 0; t < c.lengths.size(); ++t)
            EXPECT_EQ(CCdDrive::MsfSectors(drive.Toc().length[t]), c.lengths[t]) << c.name << " track " << t;
    }
}

TEST(CdDrive, InitReportsMissingDrivesWithoutCrashing)
{
    CTempDir dir;
    // No image: this machine's /dev decides between "no CD drive" and "not a CD drive" for a
    // letter past any drive it may have.
    {
        CCdDrive drive;
        const int status = drive.Init('Z');
        EXPECT_TRUE(status == CCdDrive::kStatusNoDrive || status == CCdDrive::kStatusNotCdDrive) << status;
        EXPECT_NE(drive.ReadToc(), CCdDrive::kStatusOk);
    }
    const std::string cue = CTestDisc({{true, 100}}).Write(dir.Root());
    {
        const ImageSetting setting(cue);
        CCdDrive drive;
        EXPECT_EQ(drive.Init('E'), CCdDrive::kStatusNotCdDrive);
    }
    struct Broken {
        const char* name;
        std::string sheet;
    } const broken[] = {
        {"missing image", "FILE \"gone.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"},
        {"image shorter than its table", "FILE \"image.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                         "TRACK 02 AUDIO\nINDEX 01 00:02:00\n"},
        {"not a cue sheet", "garbage"},
    };
    for (const Broken& b : broken) {
        const std::string path = dir.Path("broken.cue");
        std::ofstream(path) << b.sheet;
        const ImageSetting setting(path);
        CCdDrive drive;
        EXPECT_EQ(drive.Init('D'), CCdDrive::kStatusImageFailed) << b.name;
    }
}

TEST(CdDevice, CommandsOnSomethingThatIsNoDriveFailCleanly)
{
    CTempDir dir;
    const std::string file = dir.Path("not-a-drive");
    std::ofstream(file) << "plain file";
    CCdDevice missing;
    EXPECT_FALSE(missing.Open(dir.Path("sr99").c_str()));
    CCdDevice device;
    ASSERT_TRUE(device.Open(file.c_str()));
    std::vector<uint8_t> buffer(16 * 2368);
    uint8_t host = 0, target = 0, lun = 0;
    EXPECT_EQ(device.ReadTocIoctl(buffer.data(), buffer.size()), 0u);
    EXPECT_FALSE(device.ReadAudioIoctl(0, 16, buffer.data()));
    EXPECT_FALSE(device.Inquiry(buffer.data()));
    EXPECT_FALSE(device.HasCapabilitiesPage());
    EXPECT_FALSE(device.SelectBlockLength(true));
    EXPECT_FALSE(device.TestUnitReady());
    EXPECT_EQ(device.ReadTocMsf(buffer.data(), buffer.size()), 0u);
    for (int command = 0; command <= 6; ++command)
        EXPECT_FALSE(device.ReadSectors(command, 0, 16, 2352, buffer.data())) << command;
    EXPECT_FALSE(device.GetAddress(host, target, lun));
}

TEST(CdDevice, ReadCommandsCarryAddressAndCountWhereTheirCommandSetsPutThem)
{
    struct Case {
        int command;
        uint8_t opcode;
        int length;
        int countAt; // last byte of the big-endian count
    } const cases[] = {{0, 0x28, 10, 8}, {1, 0xD4, 10, 8}, {2, 0xD8, 12, 9}, {3, 0xBE, 12, 8},
                       {4, 0x08, 6, 4},  {5, 0x28, 10, 8}, {6, 0xA8, 12, 9}};
    for (const Case& c : cases) {
        uint8_t cdb[12];
        ASSERT_EQ(CCdDevice::BuildReadCommand(c.command, 0x012345, 13, cdb), c.length) << c.command;
        EXPECT_EQ(cdb[0], c.opcode) << c.command;
        EXPECT_EQ(cdb[c.countAt], 13) << c.command;
        EXPECT_EQ(cdb[c.length == 6 ? 3 : 5], 0x45) << c.command; // low byte of the address
    }
    uint8_t cdb[12];
    EXPECT_EQ(CCdDevice::BuildReadCommand(7, 0, 1, cdb), 0);
    uint8_t list[12];
    CCdDevice::BuildBlockLengthList(true, list);
    EXPECT_EQ(list[4], 0x82);
    EXPECT_EQ((list[9] << 16) | (list[10] << 8) | list[11], 2368);
    CCdDevice::BuildBlockLengthList(false, list);
    EXPECT_EQ(list[4], 0x00);
    EXPECT_EQ((list[9] << 16) | (list[10] << 8) | list[11], 2352);
}

TEST(CdDrive, RangesArriveInChunksOfSixteenWithAFinalReport)
{
    CTempDir dir;
    const CTestDisc disc({{true, 200}});
    const ImageSetting setting(disc.Write(dir.Root()));
    CCdDrive drive;
    ASSERT_EQ(drive.Init('D'), CCdDrive::kStatusOk);
    int result = -1;
    const std::vector<Chunk> chunks = ReadAll(drive, 10, 50, result);
    EXPECT_EQ(result, CCdDrive::kStatusOk);
    ASSERT_EQ(chunks.size(), 4u);
    const uint32_t firsts[] = {10, 26, 42, 50};
    const uint32_t sectors[] = {16, 16, 8, 8};
    for (size_t i = 0; i < chunks.size(); ++i) {
        EXPECT_EQ(chunks[i].first, firsts[i]);
        EXPECT_EQ(chunks[i].end, 50u);
        EXPECT_EQ(chunks[i].bytes, sectors[i] * 2352);
    }
    for (size_t i = 0; i + 1 < chunks.size(); ++i)
        EXPECT_TRUE(std::equal(chunks[i].data.begin(), chunks[i].data.end(),
                               disc.Image().begin() + static_cast<long>(firsts[i]) * 2352))
            << "chunk " << i;
    // Past the image's end nothing is read from outside it: the chunk fails and arrives zeroed.
    const std::vector<Chunk> outside = ReadAll(drive, 190, 210, result);
    EXPECT_EQ(result, CCdDrive::kStatusReadFailed);
    ASSERT_EQ(outside.size(), 3u);
    EXPECT_TRUE(
        std::all_of(outside[1].data.begin(), outside[1].data.end(), [](uint8_t b) { return b == 0; }));
}

TEST(CdDrive, AChunkIsTriedThreeTimesThenPassedOnAllTheSame)
{
    CTempDir dir;
    const CTestDisc disc({{true, 64}});
    const ImageSetting setting(disc.Write(dir.Root()));
    for (const int failures : {1, 2, 3, 4}) {
        CCdDrive drive;
        ASSERT_EQ(drive.Init('D'), CCdDrive::kStatusOk);
        drive.Image()->InjectReadErrors(20, failures);
        int result = -1;
        const std::vector<Chunk> chunks = ReadAll(drive, 0, 48, result);
        const bool recovered = failures < CCdDrive::kAttempts;
        EXPECT_EQ(result, recovered ? CCdDrive::kStatusOk : CCdDrive::kStatusReadFailed) << failures;
        ASSERT_EQ(chunks.size(), 4u) << failures;
        const auto expected = disc.Image().begin() + 16 * 2352;
        EXPECT_EQ(std::equal(chunks[1].data.begin(), chunks[1].data.end(), expected), recovered) << failures;
        // Three attempts and no more: a fourth injected failure is still waiting for the next read.
        std::vector<uint8_t> sector(2352);
        EXPECT_EQ(drive.Image()->ReadSectors(20, 1, sector.data()), failures <= CCdDrive::kAttempts)
            << failures;
    }
}

TEST(CdDrive, AbortEndsTheRangeAfterTheCurrentChunk)
{
    CTempDir dir;
    const ImageSetting setting(CTestDisc({{true, 100}}).Write(dir.Root()));
    CCdDrive drive;
    ASSERT_EQ(drive.Init('D'), CCdDrive::kStatusOk);
    drive.SetRange(0, 100);
    int calls = 0;
    const int result = drive.ReadRange([&](uint32_t, uint32_t, uint32_t, const CCdDrive&) {
        if (++calls == 2)
            drive.SetAbort(true);
    });
    EXPECT_EQ(result, CCdDrive::kStatusOk);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(drive.Image()->SectorsRead(), 32u);
}
