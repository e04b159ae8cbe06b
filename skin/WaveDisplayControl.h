#pragma once

#include "MouseCapture.h"
#include "SkinControl.h"

#include <array>
#include <cstdint>
#include <vector>

// The waveform overview of a deck: a coloured trail behind the play position, the wave as one
// vertical span per pixel column, and up to eight markers plus the current one.
class CWaveDisplayControl : public CSkinControl {
public:
    static const char* ClassName() { return "waveDisplay.dll"; }
    static std::unique_ptr<CSkinControl> Create();
    static constexpr int32_t kClassVersion = 3;
    static constexpr int kMarkers = 8;

    CWaveDisplayControl();
    ~CWaveDisplayControl() override;
    void ReadData(CByteReader& stream) override;
    void AttachForm(CSkinForm* form) override;
    void DetachForm() override;
    void Draw(CSkinPicture& picture) override;
    int HandleEvent(const CSkinEvent& event) override;
    void WriteData(CByteWriter& stream) const override;

    void SetWaveColour(uint32_t colour);
    void SetTrailStartColour(uint32_t colour);
    void SetTrailEndColour(uint32_t colour);
    // Two signed bytes (lower end, upper end) per pixel column; 2 x width bytes are taken.
    void SetWaveData(const int8_t* bytes, size_t size);
    void SetMarker(int k, int32_t column, int32_t offset);
    void SetCurrentMarker(int32_t column, int32_t offset);
    void SetTrailStart(int32_t column);
    void SetMarkerPicture(int32_t pictureId);
    uint32_t GradientColour(int i) const { return m_gradient[static_cast<size_t>(i)]; }

    struct Marker {
        int32_t column = -1; // -1 = none
        int32_t offset = 0;
    };
    // k < kMarkers.
    const Marker& MarkerAt(int k) const { return m_markers[static_cast<size_t>(k)]; }
    const Marker& CurrentMarker() const { return m_current; }

    uint32_t m_waveColour = 0xFFB4B4B4u;
    int32_t m_markerPictureId = 0; // 0 = none

private:
    void ComputeGradient();
    void ReleaseMarkers();
    void DrawMarker(CSkinPicture& picture, const Marker& marker, int frame, int32_t centreY);

    uint32_t m_trailStartColour = 0xFFE63200u;
    uint32_t m_trailEndColour = 0xFF000000u;
    std::array<uint32_t, 8> m_gradient{};
    std::vector<int8_t> m_wave;
    bool m_hasWave = false;
    std::array<Marker, kMarkers> m_markers{};
    Marker m_current;
    int32_t m_trailStart = -1;
    CSkinPicture* m_markerPicture = nullptr; // 9 frames side by side, held through the manager
    int32_t m_markerFrameWidth = 0;
    CMouseCapture m_mouse; // holds the mouse from a press to its release
};
