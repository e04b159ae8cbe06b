// The mixer panel on the program's own mixer form, over a real player core: lamps, fade time,
// cross-fader, wave windows and shades, driven by mouse events through the form.
#include "MixerPanel.h"

#include "AudioEngine.h"
#include "ControlClassTable.h"
#include "CoreTestSupport.h"
#include "DeckPlayer.h"
#include "EngineTestSupport.h"
#include "MixMonitor.h"
#include "PictureManager.h"
#include "PlayerCore.h"
#include "ResourceTable.h"
#include "SelectorControl.h"
#include "ShadeArea.h"
#include "SkinEvent.h"
#include "SkinForm.h"
#include "SkinPicture.h"
#include "SwitchControl.h"
#include "TempDir.h"
#include "TextControl.h"
#include "WaveDisplayControl.h"

#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

class MixerPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterSkinControlClasses();
        CSkinForm::SetInputEnabled(true);
        ASSERT_EQ(pictures.LoadMap(), 1);
        ASSERT_EQ(form.LoadResource(1), 1);
        panel = std::make_unique<CMixerPanel>(core, form);
        back.Resize(form.Width(), form.Height());
    }
    void TearDown() override
    {
        panel.reset();
        CSkinForm::SetInputEnabled(false);
    }

    template <typename Control> Control& Get(int32_t id)
    {
        auto* control = dynamic_cast<Control*>(form.FindControl(id));
        EXPECT_NE(control, nullptr) << "control " << id;
        return *control;
    }
    SkinRect Rect(int32_t id) { return form.FindControl(id)->GetRect(); }
    void Button(int32_t id, bool right, bool down)
    {
        const SkinRect r = Rect(id);
        const uint32_t keys = down ? (right ? SkinKeys::RightButton : SkinKeys::LeftButton) : 0;
        form.HandleEvent(nullptr, CSkinEvent::Button((r.left + r.right) / 2, (r.top + r.bottom) / 2, keys,
                                                     right, down, false));
    }
    void Click(int32_t id, bool right = false)
    {
        Button(id, right, true);
        Button(id, right, false);
    }
    float Fade() { return core.Automix().FadeTime(); }
    std::string FadeText()
    {
        panel->Refresh(false);
        return Get<CTextControl>(CMixerPanel::kFadeText).GetText();
    }
    void Paint() { form.Paint(back, false); }
    std::vector<uint32_t> Pixels(const SkinRect& r)
    {
        std::vector<uint32_t> pixels;
        for (int32_t y = r.top; y < r.bottom; ++y)
            for (int32_t x = r.left; x < r.right; ++x)
                pixels.push_back(back.PixelAt(x, y));
        return pixels;
    }
    void SaveScreen(const char* name)
    {
        ASSERT_TRUE(QDir().mkpath(QStringLiteral(QUANDEL_SCREENS)));
        const QImage image(reinterpret_cast<const uchar*>(back.Pixels()), back.Width(), back.Height(),
                           static_cast<qsizetype>(back.Width()) * 4, QImage::Format_RGB32);
        const QString path = QStringLiteral(QUANDEL_SCREENS "/") + QString::fromLatin1(name);
        ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
    }

    CPlayerCore core;
    CPictureManager pictures{CResourceTable::Program()};
    CSkinForm form{pictures};
    std::unique_ptr<CMixerPanel> panel;
    CSkinPicture back;
};

} // namespace

TEST_F(MixerPanelTest, ALampLitByActivityHoldsItsBrightestFrameThenFadesOutOverTwentyFourRefreshes)
{
    core.Controls().SetValue(ControlId::DeckPfl, 0, 1, Marks::ChangedAndApply);
    core.MixMonitor().Update(core.Controls());
    core.Controls().SetValue(ControlId::DeckPfl, 0, 0, Marks::ChangedAndApply);
    core.MixMonitor().Update(core.Controls());
    std::vector<int> states;
    std::vector<int> counters;
    for (int i = 0; i < 34; ++i) {
        panel->Refresh(false);
        states.push_back(Get<CSwitchControl>(110).GetState());
        counters.push_back(panel->LampCounter(0, CMixMonitor::kCueing));
    }
    std::vector<int> expected(10, 5);
    for (const int state : {4, 3, 2, 1, 0})
        expected.insert(expected.end(), 4, state);
    expected.insert(expected.end(), 4, 0);
    EXPECT_EQ(states, expected);
    EXPECT_EQ(counters.front(), 29);
    EXPECT_EQ(counters[28], 1);
    EXPECT_EQ(counters[29], 0);
    EXPECT_EQ(counters.back(), 0);
    // Only the cueing lamp of deck A saw anything.
    for (int deck = 0; deck < 2; ++deck) {
        for (size_t lamp = 0; lamp < CMixerPanel::kLampIds.size(); ++lamp) {
            if (deck != 0 || lamp != CMixMonitor::kCueing) {
                EXPECT_EQ(Get<CSwitchControl>(CMixerPanel::kLampIds[lamp] + deck).GetState(), 0) << lamp;
            }
        }
    }

    // Activity seen again while a lamp fades lights it fully once more; deck B's lamp is one id up.
    core.Controls().SetValue(ControlId::DeckReverse, 1, 1, Marks::ChangedAndApply);
    core.MixMonitor().Update(core.Controls());
    panel->Refresh(false);
    EXPECT_EQ(panel->LampCounter(1, CMixMonitor::kReverse), 29);
    EXPECT_EQ(Get<CSwitchControl>(171).GetState(), 5);
    EXPECT_EQ(Get<CSwitchControl>(170).GetState(), 0);
}

TEST_F(MixerPanelTest, HoldingAFadeButtonStepsAtTheRepeatRateAndStopsAtItsLimit)
{
    ASSERT_EQ(FadeText(), "10.0");
    // The right button steps by tenths, and repeats while held, down to -9.9 exactly.
    Button(CMixerPanel::kFadeDown, true, true);
    EXPECT_EQ(Fade(), 9.9f);
    std::vector<float> seen = {Fade()};
    for (int i = 0; i < 1000 && Fade() != CMixerPanel::kFadeMinimum; ++i) {
        form.RunTimers();
        if (Fade() != seen.back())
            seen.push_back(Fade());
    }
    EXPECT_EQ(Fade(), -9.9f);
    EXPECT_EQ(seen.size(), 199u); // 9.9 down to -9.9
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], static_cast<float>(99 - static_cast<long>(i)) / 10.0f) << i;
    for (int i = 0; i < 20; ++i)
        form.RunTimers();
    EXPECT_EQ(Fade(), -9.9f);
    Button(CMixerPanel::kFadeDown, true, false);
    EXPECT_EQ(FadeText(), "-9.9");
    Click(CMixerPanel::kFadeDown, true);
    EXPECT_EQ(Fade(), -9.9f);

    // The left button steps by whole seconds; the last press's button also drives its repeats.
    Click(CMixerPanel::kFadeUp);
    EXPECT_EQ(Fade(), -8.9f);
    core.Automix().SetFadeTime(96.5f);
    Button(CMixerPanel::kFadeUp, false, true);
    EXPECT_EQ(Fade(), 97.5f);
    std::vector<float> up = {Fade()};
    for (int i = 0; i < 40; ++i) {
        form.RunTimers();
        if (Fade() != up.back())
            up.push_back(Fade());
    }
    Button(CMixerPanel::kFadeUp, false, false);
    EXPECT_EQ(up, (std::vector<float>{97.5f, 98.5f, 99.0f}));
    EXPECT_EQ(FadeText(), "99.0");
    Click(CMixerPanel::kFadeDown, true);
    EXPECT_EQ(Fade(), 98.9f);
}

TEST_F(MixerPanelTest, PresetsSetBlendNoBlendAndPause)
{
    core.Automix().SetFadeTime(4.2f);
    Click(CMixerPanel::kPresetNoBlend);
    EXPECT_EQ(Fade(), 0.0f);
    EXPECT_EQ(FadeText(), " 0.0");
    Click(CMixerPanel::kPresetPause, true);
    EXPECT_EQ(Fade(), -3.0f);
    EXPECT_EQ(FadeText(), "-3.0");
    Click(CMixerPanel::kPresetBlend);
    EXPECT_EQ(Fade(), 10.0f);
    EXPECT_EQ(FadeText(), "10.0");
}

TEST_F(MixerPanelTest, DjMixDisablesTheFadeControlsWhichThenDrawTheirDisabledFrames)
{
    const std::vector<int32_t> ids = {CMixerPanel::kFadeDown, CMixerPanel::kFadeUp, CMixerPanel::kPresetBlend,
                                      CMixerPanel::kPresetNoBlend, CMixerPanel::kPresetPause};
    Paint();
    std::vector<std::vector<uint32_t>> enabled;
    for (const int32_t id : ids)
        enabled.push_back(Pixels(Rect(id)));

    core.Mix().SetStream({0x00, 0x04, 0x10, 9, 0x64, 0x00, 0x10, 1, 0x00, 0xC0, 0x00, 0x80}, 2);
    core.SetPlaybackMode(CPlayerCore::kDjMix);
    ASSERT_EQ(core.PlaybackModeValue(), CPlayerCore::kDjMix);
    panel->Refresh(false);
    Paint();
    for (size_t i = 0; i < ids.size(); ++i) {
        SCOPED_TRACE(ids[i]);
        auto& button = Get<CSwitchControl>(ids[i]);
        EXPECT_FALSE(button.IsEnabled());
        EXPECT_NE(Pixels(Rect(ids[i])), enabled[i]);
        // Every opaque pixel of the strip's last frame is what the button shows.
        CSkinPicture* strip = pictures.GetPicture(button.m_pictureId);
        ASSERT_NE(strip, nullptr);
        const SkinRect r = Rect(ids[i]);
        const int32_t frameX = (button.m_frameCount - 1) * button.FrameWidth();
        int opaque = 0;
        for (int32_t y = 0; y < r.Height(); ++y)
            for (int32_t x = 0; x < r.Width(); ++x) {
                const uint32_t pixel = strip->PixelAt(frameX + x, y);
                if (pixel > 0x00FFFFFFu) {
                    ++opaque;
                    EXPECT_EQ(back.PixelAt(r.left + x, r.top + y), pixel) << x << "," << y;
                }
            }
        EXPECT_GT(opaque, r.Width() * r.Height() / 2);
        pictures.ReleasePicture(button.m_pictureId);
    }
    // Disabled buttons take no clicks.
    Click(CMixerPanel::kPresetPause);
    Click(CMixerPanel::kFadeDown);
    EXPECT_EQ(Fade(), 10.0f);

    core.SetPlaybackMode(CPlayerCore::kAutomix);
    panel->Refresh(false);
    Paint();
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_EQ(Pixels(Rect(ids[i])), enabled[i]) << ids[i];
    Click(CMixerPanel::kPresetPause);
    EXPECT_EQ(Fade(), -3.0f);
}

TEST_F(MixerPanelTest, DraggingTheCrossFaderSetsItAndHoldsAutomixWhileTheDragLasts)
{
    const SkinRect r = Rect(CMixerPanel::kCrossFader);
    auto& selector = Get<CSelectorControl>(CMixerPanel::kCrossFader);
    CControlFunction& fader = *core.Controls().FindFunction(ControlId::XFader);
    const int32_t y = (r.top + r.bottom) / 2;
    const int32_t startX = r.left + r.Width() / 2;
    ASSERT_EQ(selector.GetValue(), 128);
    // Playing mix, whose cross-fader the user has taken over.
    core.Mix().SetStream({0x00, 0x04, 0x10, 9, 0x64, 0x00, 0x10, 1, 0x00, 0xC0, 0x00, 0x80}, 2);
    core.Mix().Play(true);
    core.Mix().TakeOver(ControlId::XFader, 0, true);
    ASSERT_TRUE(core.Mix().TakenOver(ControlId::XFader, 0));

    form.HandleEvent(nullptr, CSkinEvent::Button(startX, y, SkinKeys::LeftButton, false, true, false));
    EXPECT_EQ(core.Automix().ManualHold(), 1);
    fader.TakeApplyPending(0);
    form.HandleEvent(nullptr,
                     CSkinEvent::Mouse(SkinEventKind::MouseMove, startX + 40, y, SkinKeys::LeftButton));
    const int32_t dragged = selector.GetValue();
    EXPECT_GT(dragged, 160);
    EXPECT_EQ(fader.Value(0), dragged);
    EXPECT_EQ(fader.Flags(0), CControlFunction::kApplyPending | CControlFunction::kChanged);
    EXPECT_EQ(core.Automix().ManualHold(), 1);

    form.HandleEvent(nullptr, CSkinEvent::Button(startX + 40, y, 0, false, false, false));
    EXPECT_EQ(core.Automix().ManualHold(), 0);
    EXPECT_EQ(fader.Value(0), dragged);
    EXPECT_EQ(fader.Flags(0) & CControlFunction::kApplyPending, 0);
    EXPECT_FALSE(core.Mix().TakenOver(ControlId::XFader, 0));
    // A release never takes the hold below 0.
    form.HandleEvent(nullptr, CSkinEvent::Button(startX + 40, y, 0, false, false, false));
    EXPECT_EQ(core.Automix().ManualHold(), 0);

    // A value stored elsewhere moves the fader at the next refresh, and only when marked changed.
    panel->Refresh(false);
    EXPECT_EQ(selector.GetValue(), dragged);
    core.Controls().SetValue(ControlId::XFader, 0, 255, Marks::Apply);
    panel->Refresh(false);
    EXPECT_EQ(selector.GetValue(), dragged);
    core.Controls().SetValue(ControlId::XFader, 0, 0, Marks::ChangedAndApply);
    panel->Refresh(false);
    EXPECT_EQ(selector.GetValue(), 0);
    EXPECT_EQ(fader.Flags(0) & CControlFunction::kChanged, 0);
    core.Controls().SetValue(ControlId::XFader, 0, 255, Marks::Apply);
    panel->Refresh(true);
    EXPECT_EQ(selector.GetValue(), 255);
}

TEST_F(MixerPanelTest, TheWaveWindowPutsPositionAndMarkersInTheirColumns)
{
    CDeckPlayer& deck = core.Engine().Deck(0);
    // Alike on both channels: the overview draws the mono sum.
    auto source =
        std::make_unique<CSignalSource>(44100 * 10, [](uint32_t frame) { return Sine(frame, 440.0); });
    source->SameSignOnBothChannels();
    ASSERT_EQ(deck.LoadSource(std::move(source), "sine"), 1);
    RefillFully(deck);
    deck.SeekMs(5000.0);
    ASSERT_EQ(deck.PositionMs(true), 5000.0);
    // At 44100 Hz the window spans 142 x 1024 frames, 3297.2 ms, and starts at 3500 ms.
    deck.SetMarker(0, 5500.0); // 2000 ms in: column 86.6
    deck.SetMarker(1, 4000.0); // 500 ms in: column 22.0
    deck.SetMarker(2, 0.0);    // none
    deck.SetMarker(3, 6600.0); // 3100 ms in: column 134.0
    deck.SetMarker(4, 8000.0); // past the window
    panel->Refresh(false);
    const auto& wave = Get<CWaveDisplayControl>(CMixerPanel::kWaveA);
    EXPECT_EQ(wave.CurrentMarker().column, 65);
    EXPECT_EQ(wave.CurrentMarker().offset, -6);
    const int32_t columns[] = {86, 22, -1, 134, -1};
    const int32_t offsets[] = {-6, -10, 0, -10, 0};
    for (int j = 0; j < 5; ++j) {
        EXPECT_EQ(wave.MarkerAt(j).column, columns[j]) << j;
        EXPECT_EQ(wave.MarkerAt(j).offset, offsets[j]) << j;
    }
    // Deck B is empty: its markers are unset and its wave flat.
    const auto& waveB = Get<CWaveDisplayControl>(CMixerPanel::kWaveA + 1);
    EXPECT_EQ(waveB.CurrentMarker().column, 65);
    for (int j = 0; j < 5; ++j)
        EXPECT_EQ(waveB.MarkerAt(j).column, -1);

    // Near the start the window reaches back before the track: 64 columns stay flat, and the
    // track's first column holds its first frame alone (column 65 is the play position).
    deck.SeekMs(0.0);
    panel->Refresh(false);
    Paint();
    const SkinRect r = Rect(CMixerPanel::kWaveA);
    const int32_t centre = r.top + r.Height() / 2;
    const auto waveAt = [&](int32_t column, int32_t dy) {
        return back.PixelAt(r.left + column, centre + dy);
    };
    for (const int32_t column : {2, 30, 50, 63}) {
        EXPECT_EQ(waveAt(column, 0), wave.m_waveColour) << column;
        EXPECT_NE(waveAt(column, -4), wave.m_waveColour) << column;
    }
    for (const int32_t column : {66, 80, 100, 140}) {
        EXPECT_EQ(waveAt(column, -4), wave.m_waveColour) << column;
        EXPECT_EQ(waveAt(column, 4), wave.m_waveColour) << column;
    }
}

TEST_F(MixerPanelTest, TheShadeDarkensADeckWhileItHasNoTrack)
{
    auto& shadeA = Get<CShadeArea>(CMixerPanel::kShadeA);
    auto& shadeB = Get<CShadeArea>(CMixerPanel::kShadeA + 1);
    EXPECT_EQ(shadeA.Colour(), 0x00001020u);
    EXPECT_TRUE(shadeA.IsActive());
    EXPECT_TRUE(shadeB.IsActive());
    LoadSignal(core.Engine().Deck(1), 44100 * 4, [](uint32_t frame) { return Sine(frame, 220.0); });
    // Nothing moves on either deck: the periodic redraw takes it within 8 refreshes.
    for (int i = 0; i < 8; ++i)
        panel->Refresh(false);
    EXPECT_TRUE(shadeA.IsActive());
    EXPECT_FALSE(shadeB.IsActive());
    core.Engine().Deck(1).Unload();
    for (int i = 0; i < 8; ++i)
        panel->Refresh(false);
    EXPECT_TRUE(shadeB.IsActive());
}

TEST_F(MixerPanelTest, ScreenshotWhileATrackPlaysWithLampsLit)
{
    CTempDir dir;
    CCoreRun run(core);
    core.AddToList(WriteToneTrack(dir.Path("a.wav"), 330.0, 20.0));
    core.AddToList(WriteToneTrack(dir.Path("b.wav"), 550.0, 20.0));
    core.SetPlaybackMode(CPlayerCore::kAutomix);
    core.SetRunStop(true);
    run.Ticks(4);
    ASSERT_TRUE(core.Engine().Deck(0).Playing());
    CControlTable& controls = core.Controls();
    controls.SetValue(ControlId::DeckEqLow, 0, 60, Marks::ChangedAndApply);
    controls.SetValue(ControlId::DeckBpActive, 0, 1, Marks::ChangedAndApply);
    controls.SetValue(ControlId::DeckPitch, 0, 2300, Marks::ChangedAndApply);
    controls.SetValue(ControlId::DeckPfl, 1, 1, Marks::ChangedAndApply);
    CDeckPlayer& deck = core.Engine().Deck(0);
    deck.SetMarker(0, 2400.0);
    deck.SetMarker(1, 2900.0);
    deck.SetMarker(2, 3100.0);
    // A display tick is about 14 render ticks.
    for (int i = 0; i < 48; ++i) {
        run.Ticks(14);
        if (i == 31)
            controls.SetValue(ControlId::DeckPfl, 1, 0, Marks::ChangedAndApply);
        panel->Refresh(false);
    }
    EXPECT_EQ(Get<CSwitchControl>(100).GetState(), 5); // equalizer, still active
    EXPECT_EQ(Get<CSwitchControl>(120).GetState(), 5); // filtering
    EXPECT_EQ(Get<CSwitchControl>(160).GetState(), 5); // pitch shift
    EXPECT_EQ(Get<CSwitchControl>(111).GetState(), 3); // cueing on deck B, fading out
    EXPECT_FALSE(Get<CShadeArea>(CMixerPanel::kShadeA).IsActive());
    EXPECT_NE(Get<CWaveDisplayControl>(CMixerPanel::kWaveA).MarkerAt(1).column, -1);
    Paint();
    SaveScreen("mixer-panel.png");
}
