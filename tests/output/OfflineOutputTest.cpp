#include "OfflineOutput.h"
#include "OutputDeviceInfo.h"
#include "OutputManager.h"
#include "OutputTestSupport.h"
#include "TempDir.h"
#include "WavRecorderOutput.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace {

// Renders a client of `frames` frames offline into a recording; returns the file's bytes.
std::vector<uint8_t> RenderToWav(const std::string& path, uint32_t frames, std::vector<uint32_t>& hookSaw)
{
    COutputManager manager;
    COutputDeviceInfo masterRecord;
    masterRecord.blockFrames = 1000;
    masterRecord.mainGroupMask = 1;
    CCodeClient client(frames);
    auto driver = std::make_unique<COfflineOutput>([&] { hookSaw.push_back(client.FramesRendered()); });
    EXPECT_NE(manager.OpenMaster(masterRecord, std::move(driver)), nullptr);
    COutputDeviceInfo recorderRecord;
    recorderRecord.device = 768;
    recorderRecord.mainGroupMask = 1;
    auto* recorder = static_cast<CWavRecorderOutput*>(manager.AttachSecondary(recorderRecord));
    EXPECT_NE(recorder, nullptr);
    recorder->StartRecording(path.c_str(), 0, 0);
    recorder->SetWriting(true);
    ClientRecord flags;
    manager.Start(client, flags); // returns when the client has nothing more to give
    EXPECT_FALSE(manager.Running());
    manager.Close();
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(OfflineOutput, RendersUntilTheClientEndsWithTheHookBeforeEveryBlockAndTheSameBytesEachRun)
{
    CTempDir dir;
    std::vector<uint32_t> hookA;
    std::vector<uint32_t> hookB;
    const auto a = RenderToWav(dir.Path("a.wav"), 10 * 1024, hookA);
    const auto b = RenderToWav(dir.Path("b.wav"), 10 * 1024, hookB);
    ASSERT_EQ(a.size(), 44u + 10 * 1024 * 4);
    EXPECT_EQ(a, b);
    // Ten blocks, then the eleventh request finds the end; the hook ran before each request.
    const std::vector<uint32_t> expected = {0, 1024, 2048, 3072, 4096, 5120, 6144, 7168, 8192, 9216, 10240};
    EXPECT_EQ(hookA, expected);
    const auto samples = ExpectedMain(0, 10 * 1024);
    EXPECT_EQ(std::memcmp(a.data() + 44, samples.data(), samples.size() * 2), 0);
}
