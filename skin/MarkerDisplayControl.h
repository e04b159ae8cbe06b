#pragma once

#include "MouseCapture.h"
#include "SkinControl.h"

#include <array>
#include <cstdint>

// A strip of up to 16 markers drawn from a 16-frame picture.
class CMarkerDisplayControl : public CSkinControl {
public:
    static const char* ClassName() { return "markerDisplay.dll"; }
    static std::unique_ptr<CSkinControl> Create();
    static constexpr int32_t kClassVersion = 2;
    static constexpr int kMarkers = 16;

    ~CMarkerDisplayControl() override;
    void ReadData(CByteReader& stream) override;
    void AttachForm(CSkinForm* form) override;
    void DetachForm() override;
    void Draw(CSkinPicture& picture) override;
    int HandleEvent(const CSkinEvent& event) override;
    void WriteData(CByteWriter& stream) const override;

    // A column not below the width hides the marker.
    void SetMarker(int k, int32_t column, int32_t offset);

    uint32_t m_markerColour = 0xFFB4B4B4u;
    uint32_t m_secondColour = 0xFF000000u; // kept with the control; drawing does not use it
    int32_t m_markerPictureId = 0;

private:
    struct Marker {
        int32_t column = -1;
        int32_t offset = 0;
    };
    void ReleaseMarkers();

    std::array<Marker, kMarkers> m_markers{};
    CSkinPicture* m_markerPicture = nullptr; // held through the picture manager
    int32_t m_frameWidth = 0;
    CMouseCapture m_mouse; // holds the mouse from a press to its release
};
