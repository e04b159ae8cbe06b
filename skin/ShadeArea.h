#pragma once

#include "SkinControl.h"

#include <cstdint>

// Darkens a region by mixing it half and half with a colour.
class CShadeArea : public CSkinControl {
public:
    static const char* ClassName() { return "Shade Area"; }
    static std::unique_ptr<CSkinControl> Create();
    static constexpr int32_t kClassVersion = 1;

    void ReadData(CByteReader& stream) override;
    void DetachForm() override { m_form = nullptr; }
    void Draw(CSkinPicture& picture) override;
    int HandleEvent(const CSkinEvent&) override { return 0; }
    void WriteData(CByteWriter& stream) const override;

    void SetColour(uint32_t colour);
    void SetActive(bool active);
    uint32_t Colour() const { return m_colour; }
    bool IsActive() const { return m_active; }

private:
    uint32_t m_colour = 0xFF800000u;
    bool m_active = true;
};
