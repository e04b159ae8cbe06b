// Control classes drawn into a picture and driven by events through their form, without a window.
#include "ControlClassTable.h"
#include "LevelMonitorControl.h"
#include "MixTrackView.h"
#include "SkinEvent.h"
#include "SkinForm.h"
#include "SkinPicture.h"
#include "SkinTestKit.h"
#include "SkinTestPictures.h"
#include "SwitchControl.h"
#include "TextControl.h"
#include "WaveDisplayControl.h"
#include "WindowsControlHost.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t kBackground = 0xFF000000u;

class SkinControls : public ::testing::Test {
protected:
    void SetUp() override
    {
        CSkinForm::SetInputEnabled(true);
        kit.AddSolid(1, 64, 32, kBackground);
        form.SetBackground(1);
        back.Resize(64, 32);
    }
    void TearDown() override { CSkinForm::SetInputEnabled(false); }

    template <typename Control>
    Control& Add(std::unique_ptr<Control> control, int32_t id, const SkinRect& rect)
    {
        Control& added = *control;
        control->SetId(id);
        control->SetRect(rect);
        form.AddControl(std::move(control));
        added.AddListener(&log);
        return added;
    }
    void Paint() { form.Paint(back, false); }
    void Send(const CSkinEvent& event) { form.HandleEvent(nullptr, event); }

    CSkinTestKit kit;
    CSkinForm form{kit.Pictures()};
    CSkinPicture back;
    CEventLog log;
};

} // namespace

TEST_F(SkinControls, WaveDisplayDrawsTrailWaveAndMarkersInOrder)
{
    std::vector<uint32_t> frames(9);
    for (int k = 0; k < 9; ++k)
        frames[static_cast<size_t>(k)] = 0xFF0000A0u + static_cast<uint32_t>(k);
    kit.AddStrip(39, 2, 3, frames);
    auto wave = std::make_unique<CWaveDisplayControl>();
    wave->m_markerPictureId = 39;
    CWaveDisplayControl& display = Add(std::move(wave), 300, {0, 0, 20, 9});
    Paint();
    EXPECT_EQ(back.PixelAt(7, 4), 0xFFB4B4B4u); // no wave data yet: the centre line
    EXPECT_EQ(back.PixelAt(7, 3), kBackground);

    std::vector<int8_t> data(40, 0);
    data[2 * 12] = 64;      // upper end
    data[2 * 12 + 1] = -64; // lower end
    display.SetWaveData(data.data(), data.size());
    display.SetTrailStart(2);
    display.SetMarker(0, 14, 0);
    display.SetMarker(1, 18, 0); // would reach the right edge: hidden
    display.SetCurrentMarker(16, 0);
    Paint();
    EXPECT_EQ(back.PixelAt(2, 0), 0xFFE63200u);
    EXPECT_EQ(back.PixelAt(5, 8), 0xFF831C00u); // gradient step 3 of 7
    EXPECT_EQ(back.PixelAt(9, 0), 0xFF000000u);
    EXPECT_EQ(back.PixelAt(10, 0), kBackground);
    // Height 9: centre 4, scale 8; 64 and -64 reach two rows either side.
    for (int y = 0; y < 9; ++y)
        EXPECT_EQ(back.PixelAt(12, y), y >= 2 && y <= 6 ? 0xFFB4B4B4u : kBackground) << y;
    EXPECT_EQ(back.PixelAt(14, 3), 0xFF0000A1u); // marker 0 is frame 1
    EXPECT_EQ(back.PixelAt(16, 5), 0xFF0000A0u); // the current marker is frame 0
    EXPECT_NE(back.PixelAt(18, 3), 0xFF0000A2u);
}

TEST_F(SkinControls, LevelMonitorPicksLevelAndPeakFrames)
{
    CSkinPicture strip;
    strip.Resize(6 * 3, 2);
    strip.Fill(0);
    for (int k = 0; k < 6; ++k) {
        if (k < 4)
            strip.FillRect(k * 3, 0, 3, 2, 0xFF000010u + static_cast<uint32_t>(k));
        else
            strip.SetPixel(k * 3, 0, 0xFF000020u + static_cast<uint32_t>(k)); // peaks ink one pixel
    }
    kit.AddPicture(94, strip);
    auto meter = std::make_unique<CLevelMonitorControl>();
    meter->m_pictureId = 94;
    meter->m_levelFrames = 4;
    meter->m_peakFrames = 2;
    CLevelMonitorControl& added = Add(std::move(meter), 15, {10, 10, 0, 0});
    EXPECT_EQ(added.GetRect(), (SkinRect{10, 10, 13, 12}));
    added.SetLevel(128);
    added.SetPeak(255);
    Paint();
    EXPECT_EQ(back.PixelAt(11, 11), 0xFF000012u); // 4 x 128 / 255 = frame 2
    EXPECT_EQ(back.PixelAt(10, 10), 0xFF000025u); // peak limited to its last frame
    added.SetLevel(1000);
    added.SetPeak(0);
    Paint();
    EXPECT_EQ(back.PixelAt(11, 11), 0xFF000013u);
    EXPECT_EQ(back.PixelAt(10, 10), 0xFF000024u);
}

TEST_F(SkinControls, SwitchNotifyModesReportPressAndReleaseAsConfigured)
{
    struct Case {
        int32_t mode;
        std::vector<int32_t> expected; // 1 for a report on press, 2 on release
    } cases[] = {{0, {1}}, {1, {1, 2}}, {2, {1}}, {3, {1, 2}}, {4, {2}}};
    for (const Case& c : cases) {
        form.RemoveAllControls();
        auto button = std::make_unique<CSwitchControl>();
        button->m_notifyMode = c.mode;
        button->m_toggle = 1;
        Add(std::move(button), 9, {0, 0, 10, 10});
        log.Clear();
        std::vector<int32_t> reports;
        Send(CSkinEvent::Button(5, 5, 0, false, true, false));
        if (!log.OfKind(SkinEventKind::SwitchChanged).empty())
            reports.push_back(1);
        const size_t afterPress = log.OfKind(SkinEventKind::SwitchChanged).size();
        Send(CSkinEvent::Button(5, 5, 0, false, false, false));
        if (log.OfKind(SkinEventKind::SwitchChanged).size() > afterPress)
            reports.push_back(2);
        EXPECT_EQ(reports, c.expected) << "mode " << c.mode;
        EXPECT_EQ(dynamic_cast<CSwitchControl*>(form.FindControl(9))->GetState(), 1) << c.mode;
        EXPECT_EQ(form.CapturedControlId(), 0) << c.mode;
    }
}

TEST_F(SkinControls, SwitchHoverFramesFollowThePointer)
{
    kit.AddStrip(5, 2, 2, {0xFF000001u, 0xFF000002u, 0xFF000003u, 0xFF000004u});
    auto button = std::make_unique<CSwitchControl>();
    button->m_pictureId = 5;
    button->m_frameCount = 4;
    button->m_hoverFrames = 1;
    button->m_state = 1;
    CSwitchControl& added = Add(std::move(button), 2, {4, 4, 0, 0});
    EXPECT_EQ(added.StatesPerGroup(), 2);
    Paint();
    EXPECT_EQ(back.PixelAt(4, 4), 0xFF000002u);
    Send(CSkinEvent::Mouse(SkinEventKind::MouseMove, 5, 5, 0));
    Paint();
    EXPECT_EQ(back.PixelAt(4, 4), 0xFF000004u); // state 1 of the hover group
    Send(CSkinEvent::Mouse(SkinEventKind::MouseMove, 30, 30, 0));
    Paint();
    EXPECT_EQ(back.PixelAt(4, 4), 0xFF000002u);
}

TEST_F(SkinControls, TextDragChangesTheNumberByTheStepOfTheGrabbedCharacter)
{
    CSkinPicture font;
    MakeProportionalFont(font, std::vector<int32_t>(256, 4), 6);
    kit.AddPicture(3, font);
    auto text = std::make_unique<CTextControl>();
    text->m_fontId = 3;
    text->m_dragValueMode = 1;
    text->m_minimum = 0.0f;
    text->m_maximum = 100.0f;
    text->m_dragSteps[0] = {10.0f, 0.1f};
    text->m_dragSteps[3] = {0.01f, 1.0f};
    CTextControl& added = Add(std::move(text), 17, {0, 0, 40, 6});
    added.SetText("12.34");
    added.SetDragValue(12.34f);

    Send(CSkinEvent::Button(13, 2, 0, false, true, false)); // fourth character: 0.01 a pixel
    EXPECT_EQ(form.CapturedControlId(), 17);
    Send(CSkinEvent::Mouse(SkinEventKind::MouseMove, 13, -3, 0));
    EXPECT_NEAR(added.GetDragValue(), 12.38f, 1e-5f); // trunc(-5 + 0.5) = -4 steps down
    const auto dragged = log.OfKind(SkinEventKind::TextValueDragged);
    ASSERT_EQ(dragged.size(), 1u);
    EXPECT_NEAR(dragged[0].floatValue, 12.38f, 1e-5f);
    Send(CSkinEvent::Mouse(SkinEventKind::MouseMove, 13, -100000, 0));
    EXPECT_EQ(added.GetDragValue(), 100.0f);
    // The clamp moved the start to the pointer: one pixel back down is one step below the top.
    Send(CSkinEvent::Mouse(SkinEventKind::MouseMove, 13, -99999, 0));
    EXPECT_NEAR(added.GetDragValue(), 99.99f, 1e-4f);
    Send(CSkinEvent::Mouse(SkinEventKind::MouseMove, 13, -99990, 0));
    EXPECT_NEAR(added.GetDragValue(), 99.9f, 1e-4f);
    Send(CSkinEvent::Button(13, 2, 0, false, false, false));
    EXPECT_EQ(form.CapturedControlId(), 0);
    EXPECT_EQ(log.OfKind(SkinEventKind::TextClicked).size(), 2u);
}

TEST_F(SkinControls, TextNeverDrawsOutsideItsControl)
{
    CSkinPicture font;
    MakeProportionalFont(font, std::vector<int32_t>(256, 4), 6);
    kit.AddPicture(3, font);
    auto text = std::make_unique<CTextControl>();
    text->m_fontId = 3;
    text->m_centreX = 1;
    text->m_centreY = 1;
    CTextControl& added = Add(std::move(text), 17, {8, 8, 18, 11}); // 10 x 3, font 6 high
    added.SetText("wide text");
    Paint();
    EXPECT_EQ(back.PixelAt(8, 8), InkOf('w', 0)); // too wide to centre: from the left edge
    EXPECT_EQ(back.PixelAt(15, 10), InkOf('i', 3));
    EXPECT_EQ(back.PixelAt(16, 10), kBackground); // the third glyph would pass the right edge
    EXPECT_EQ(back.PixelAt(8, 11), kBackground);  // nor below the control
}

TEST_F(SkinControls, MixTrackViewDrawsItsDecksBoxesInItsColoursAndFindsThem)
{
    CSkinPicture font;
    MakeProportionalFont(font, std::vector<int32_t>(256, 2), 4);
    kit.AddPicture(3, font);
    auto view = std::make_unique<CMixTrackView>();
    view->m_fontIds = {3, 3, 3, 3};
    CMixTrackView& added = Add(std::move(view), 40, {0, 0, 64, 32});
    MixTrackColours colours;
    colours.box = 0xFF101010u;
    colours.playingBox = 0xFF202020u;
    colours.edge = 0xFF300000u;
    colours.playingEdge = 0xFF400000u;
    colours.mark = 0xFFF0F0F0u;
    colours.separator = 0xFF000001u;
    colours.positionLine = 0xFFFF0000u;
    added.SetColours(colours);
    std::vector<MixTrackBox> boxes(4);
    std::memset(boxes.data(), 0, sizeof(MixTrackBox) * boxes.size());
    const int32_t ys[] = {0, 14, 14, 28};
    const uint8_t decks[] = {0, 0, 1, 0};
    for (size_t i = 0; i < boxes.size(); ++i) {
        boxes[i].deckCode = decks[i];
        boxes[i].y = ys[i];
        boxes[i].height = 14;
        std::strcpy(boxes[i].title, "t");
    }
    boxes[1].selected = 1;
    boxes[1].lengthMs = 61000;
    boxes[3].marked = 1;
    added.SetTracks(boxes.data(), 4, 0);
    added.SetPositionLine(20);
    Paint();
    EXPECT_EQ(back.PixelAt(60, 1), colours.box);
    EXPECT_EQ(back.PixelAt(0, 1), colours.edge) << "the deck's bar at the left edge";
    EXPECT_EQ(back.PixelAt(60, 13), colours.separator) << "the last row keeps touching boxes apart";
    EXPECT_EQ(back.PixelAt(60, 16), colours.playingBox);
    EXPECT_EQ(back.PixelAt(60, 14), colours.playingEdge) << "the playing box is outlined";
    EXPECT_EQ(back.PixelAt(63, 16), colours.playingEdge);
    EXPECT_EQ(back.PixelAt(60, 28), colours.mark) << "a marked box is framed";
    EXPECT_EQ(back.PixelAt(60, 19), colours.positionLine);
    EXPECT_EQ(back.PixelAt(3, 2), InkOf('t', 0));
    EXPECT_EQ(back.PixelAt(34, 14 + 7), InkOf('0', 0)); // "01:01" at width - 30
    EXPECT_EQ(added.TrackAt(5, 20, true), 1);
    EXPECT_EQ(added.TrackAt(5, 45, false), 3);
    EXPECT_EQ(added.TrackAt(5, 45, true), -1);
    added.SetScroll(14);
    Paint();
    EXPECT_EQ(back.PixelAt(60, 2), colours.playingBox);
    EXPECT_EQ(added.TrackAt(5, 1, true), 1);
}

TEST_F(SkinControls, WindowsControlHostOutlinesItsPlaceWithoutAWindow)
{
    Add(std::make_unique<CWindowsControlHost>(), 1, {2, 2, 12, 7});
    Paint();
    EXPECT_EQ(back.PixelAt(2, 2), 0x00FF0000u);
    EXPECT_EQ(back.PixelAt(11, 6), 0x00FF0000u);
    EXPECT_EQ(back.PixelAt(5, 4), kBackground);
    EXPECT_EQ(form.HandleEvent(nullptr, CSkinEvent::Button(5, 4, 0, false, true, false)), 0);
}
