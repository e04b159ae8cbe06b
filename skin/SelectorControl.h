#pragma once

#include "SkinControl.h"

#include <array>
#include <cstdint>

// Faders (a handle moving along a track) and rotary knobs. The internal position runs over
// 0..4096 (a knob: 4096 is one full turn); listeners see the external value 0..FaderRange or
// 0..KnobSteps.
class CSelectorControl : public CSkinControl {
public:
    static const char* ClassName() { return "selector.dll"; }
    static std::unique_ptr<CSkinControl> Create();
    static constexpr int32_t kClassVersion = 7;

    // The class data fields, in the stored order of the newest version.
    enum Field {
        KnobMode,
        KnobFrames,
        KnobPicture,
        KnobValue,
        KnobSteps,
        KnobStart,
        KnobEndGap,
        KnobDiameter,
        KnobCentreX,
        KnobCentreY,
        KnobFrameWidth,
        KnobFrameHeight,
        KnobScale,
        KnobGrabX,
        KnobGrabY,
        KnobAngular,
        KnobFreeTurn,
        FaderPicture,
        FaderValue,
        FaderVertical,
        FaderTwoFrames,
        FaderRange,
        FaderGrab,
        FaderLength,
        FaderRelative,
        kFieldCount
    };

    CSelectorControl();
    ~CSelectorControl() override;
    void ReadData(CByteReader& stream) override;
    void AttachForm(CSkinForm* form) override;
    void DetachForm() override;
    void Draw(CSkinPicture& picture) override;
    int HandleEvent(const CSkinEvent& event) override;
    void WriteData(CByteWriter& stream) const override;

    void SetValue(int32_t external);
    int32_t GetValue() const;
    int32_t Field(Field f) const { return m_fields[f]; }
    void SetField(enum Field f, int32_t value) { m_fields[f] = value; }
    bool IsKnob() const { return m_fields[KnobMode] != 0; }

private:
    int32_t PictureId() const { return IsKnob() ? m_fields[KnobPicture] : m_fields[FaderPicture]; }
    int32_t& Position() { return IsKnob() ? m_fields[KnobValue] : m_fields[FaderValue]; }
    int32_t FaderFromPointer(int32_t x, int32_t y) const;
    int32_t KnobFromPointer(int32_t x, int32_t y, bool shift) const;
    int32_t ClampKnob(int32_t value) const;
    // Stores a new position (a knob refuses to jump across its bottom gap); true when it changed.
    bool Move(int32_t value);
    void ReleaseHandle();

    std::array<int32_t, kFieldCount> m_fields{};
    CSkinPicture* m_handle = nullptr; // knob strip or fader handle, held through the manager
    int32_t m_handleWidth = 0;
    int32_t m_handleHeight = 0;
    int32_t m_grab = 0;
    int32_t m_previousY = 0; // knob without angular mapping: pointer y of the last event

    // Only one drag runs at a time, so all selectors share its start.
    static int32_t s_dragStartValue;
    static int32_t s_dragStartCoord;
};
