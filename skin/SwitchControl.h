#pragma once

#include "SkinControl.h"

#include <cstdint>

// Buttons, toggles, radio-like indicators and link buttons: a strip of frames (normal group,
// pressed group, hover group, disabled frame) and the notify modes by which presses are reported.
class CSwitchControl : public CSkinControl {
public:
    static const char* ClassName() { return "switch.dll"; }
    static std::unique_ptr<CSkinControl> Create();
    static constexpr int32_t kClassVersion = 5;

    ~CSwitchControl() override;
    void ReadData(CByteReader& stream) override;
    void AttachForm(CSkinForm* form) override;
    void DetachForm() override;
    void Draw(CSkinPicture& picture) override;
    int HandleEvent(const CSkinEvent& event) override;
    void WriteData(CByteWriter& stream) const override;

    void SetState(int32_t state);
    int32_t GetState() const { return m_state; }
    void SetPicture(int32_t pictureId);
    int32_t StatesPerGroup() const { return m_statesPerGroup; }
    int32_t FrameWidth() const { return m_frameWidth; }
    bool IsLit() const { return m_lit; }

    // The class data fields, in stored order.
    int32_t m_groupId = 0; // carried with the control, written back unchanged
    int32_t m_state = 0;
    int32_t m_pictureId = 0;
    int32_t m_frameCount = 1;
    int32_t m_frameWidth = 0; // recomputed from the picture on load
    int32_t m_frameHeight = 0;
    int32_t m_blankFirstFrame = 0;
    int32_t m_toggle = 0;
    int32_t m_hoverFrames = 0;
    int32_t m_pressFrames = 0;
    int32_t m_disabledFrame = 0;
    int32_t m_reportHover = 0;
    int32_t m_leftButtonOnly = 0;
    int32_t m_notifyMode = 0;   // 0 press, 1 press and release, 2 press and repeat, 3 as 1, 4 release
    int32_t m_repeatPeriod = 0; // timer ticks
    int32_t m_repeatDelay = 0;  // timer events before the first repeat

private:
    void LoadStrip();
    void ReleaseStrip();

    CSkinPicture* m_strip = nullptr; // held through the picture manager
    int32_t m_statesPerGroup = 1;
    int32_t m_pressed = 0;
    int32_t m_hover = 0;
    int32_t m_buttonDown = 0;
    bool m_capture = false;
    int32_t m_repeatCountdown = 0;
    bool m_lit = true; // the enabled look
};
