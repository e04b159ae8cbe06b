#pragma once

#include "SkinControl.h"

#include <cstdint>

// A level meter: one of LevelFrames frames for the level, with an optional peak frame over it.
class CLevelMonitorControl : public CSkinControl {
public:
    static const char* ClassName() { return "levelMonitor.dll"; }
    static std::unique_ptr<CSkinControl> Create();
    static constexpr int32_t kClassVersion = 2;

    ~CLevelMonitorControl() override;
    void ReadData(CByteReader& stream) override;
    void AttachForm(CSkinForm* form) override;
    void DetachForm() override;
    void Draw(CSkinPicture& picture) override;
    int HandleEvent(const CSkinEvent&) override { return 0; }
    void WriteData(CByteWriter& stream) const override;

    void SetLevel(int32_t level);
    void SetPeak(int32_t peak);

    int32_t m_ignoredId = 0;
    int32_t m_pictureId = 0;
    int32_t m_frameWidth = 1; // recomputed from the picture on load
    int32_t m_frameHeight = 1;
    int32_t m_levelFrames = 1;
    int32_t m_peakFrames = 1;
    int32_t m_maximum = 255;
    int32_t m_vertical = 0; // 1 = frames stacked top to bottom

private:
    void ReleaseStrip();

    CSkinPicture* m_strip = nullptr; // held through the picture manager
    int32_t m_level = 0;
    int32_t m_peak = 0;
};
