#pragma once

#include "BitmapFont.h"
#include "SkinControl.h"

#include <array>
#include <cstdint>
#include <string>

// Text in a bitmap font: static, scrolling as a marquee or back and forth, or a number the user
// changes by dragging.
class CTextControl : public CSkinControl {
public:
    static const char* ClassName() { return "text.dll"; }
    static std::unique_ptr<CSkinControl> Create();
    static constexpr int32_t kClassVersion = 6;

    ~CTextControl() override;
    void ReadData(CByteReader& stream) override;
    void AttachForm(CSkinForm* form) override;
    void DetachForm() override;
    void Draw(CSkinPicture& picture) override;
    int HandleEvent(const CSkinEvent& event) override;
    void WriteData(CByteWriter& stream) const override;

    void SetText(const std::string& text);
    const std::string& GetText() const { return m_text; }
    bool IsScrolling() const { return m_scrolling; }
    int32_t ScrollPosition() const { return m_scrollPosition; }
    float GetDragValue() const { return m_value; }
    void SetDragValue(float value) { m_value = value; }
    const CBitmapFont& Font() const { return m_font; }

    // The class data fields.
    int32_t m_fontId = 0;
    int32_t m_centreX = 0;
    int32_t m_centreY = 0;
    int32_t m_scrollMode = 0;   // 0 static, 1 marquee, 2 back and forth
    int32_t m_scrollPeriod = 0; // timer ticks
    int32_t m_scrollStep = 0;   // pixels per scroll event
    int32_t m_clickable = 0;
    int32_t m_dragValueMode = 0;
    float m_minimum = 0.0f;
    float m_maximum = 0.0f;
    // Per character position k: the step of the number and the steps per pixel of drag.
    std::array<std::array<float, 2>, 8> m_dragSteps{};

private:
    void ApplyScrollRule();
    void ReleaseFont();
    int32_t CentringOffset() const;

    std::string m_text;
    CSkinPicture* m_fontPicture = nullptr; // held through the picture manager
    CBitmapFont m_font;
    int32_t m_scrollPosition = 0; // pixels
    bool m_scrolling = false;
    bool m_dragActive = false;
    float m_dragStartValue = 0.0f;
    int32_t m_dragStartX = 0;
    int32_t m_dragStartY = 0;
    bool m_dragShift = false;
    int32_t m_dragIndex = 0; // character position 0..7
    float m_value = 0.0f;
};
