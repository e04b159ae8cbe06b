#pragma once

#include "BitmapFont.h"
#include "SkinControl.h"
#include "SkinPicture.h"

#include <array>
#include <cstdint>

// One box of the mix view, owned by the application (one per mix entry).
struct MixTrackBox {
    uint8_t deckCode;
    char title[37];  // zero-terminated
    char artist[38]; // zero-terminated
    int32_t y;       // form coordinates before scrolling
    int32_t height;
    uint32_t lengthMs;
    int32_t selected;
    int32_t marked;
};

// The colours of a view's boxes, 0xAARRGGBB. The boxes are dark so that a mix view read in a
// dark room does not glare; the deck shows in the edge bar, and the playing box in a tint of it.
struct MixTrackColours {
    uint32_t box = 0xFF20262Du;         // fill of a box
    uint32_t playingBox = 0xFF343C47u;  // fill of the selected (playing) box
    uint32_t edge = 0xFF6D7784u;        // bar along the left edge of a box
    uint32_t playingEdge = 0xFFC9D1DAu; // bar and outline of the playing box
    uint32_t mark = 0xFFF2D14Bu;        // outline of a marked box
    uint32_t separator = 0xFF0C0E11u;   // last row of a box, keeping boxes that touch apart
    uint32_t positionLine = 0xFFFFA800u;
};

// A scrolling list of track boxes for one deck of the mix view.
class CMixTrackView : public CSkinControl {
public:
    static const char* ClassName() { return "Mix Track View"; }
    static std::unique_ptr<CSkinControl> Create();
    static constexpr int32_t kClassVersion = 5;

    ~CMixTrackView() override;
    void ReadData(CByteReader& stream) override;
    void AttachForm(CSkinForm* form) override;
    void DetachForm() override;
    void Draw(CSkinPicture& picture) override;
    int HandleEvent(const CSkinEvent& event) override;
    void WriteData(CByteWriter& stream) const override;

    // The array outlives its use here (until the next SetTracks).
    void SetTracks(const MixTrackBox* tracks, int32_t count, uint8_t deckCode);
    void SetScroll(int32_t pixels);
    void SetPositionLine(int32_t y);
    void SetColours(const MixTrackColours& colours);
    int32_t Scroll() const { return m_scroll; }
    int32_t PositionLine() const { return m_positionLine; }
    // The box under the point, or with inside false the last box above it; -1 for none.
    int32_t TrackAt(int32_t x, int32_t y, bool inside) const;

    // Title, artist-and-time, and the same two for a selected box; drawn over the dark boxes,
    // so light fonts.
    std::array<int32_t, 4> m_fontIds{};

private:
    void ReleaseFonts();

    std::array<CSkinPicture*, 4> m_fontPictures{}; // held through the picture manager
    std::array<CBitmapFont, 4> m_fonts;
    CSkinPicture m_box; // scratch picture for one box
    const MixTrackBox* m_tracks = nullptr;
    int32_t m_count = 0;
    uint8_t m_deckCode = 0;
    int32_t m_scroll = 0;
    int32_t m_positionLine = 0;
    MixTrackColours m_colours;
    int32_t m_lastY = 0;
    int32_t m_captures = 0;
};
