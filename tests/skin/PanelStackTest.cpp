#include "SelectorControl.h"
#include "ShadeArea.h"
#include "SkinEvent.h"
#include "SkinTestPictures.h"
#include "SkinWindowFixture.h"
#include "SwitchControl.h"
#include "TextControl.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<CSwitchControl> HoverSwitch()
{
    auto control = std::make_unique<CSwitchControl>();
    control->m_reportHover = 1;
    return control;
}

std::vector<std::pair<int32_t, int32_t>> KindsAndIds(const std::vector<CEventLog::Entry>& entries)
{
    std::vector<std::pair<int32_t, int32_t>> result;
    for (const auto& e : entries)
        result.emplace_back(e.kind, e.controlId);
    return result;
}

} // namespace

TEST_F(SkinWindowTest, OverlappingControlsHoverTheLaterOneButOfferPressesToTheEarlierOneFirst)
{
    CSkinForm& form = AddForm(60, 20, 0xFF000000u);
    auto first = HoverSwitch();
    first->m_leftButtonOnly = 1;
    Add(form, std::move(first), 1, {0, 0, 30, 20});
    Add(form, HoverSwitch(), 2, {10, 0, 40, 20});
    Show();

    Move(20, 5);
    const auto hover = log.OfKind(SkinEventKind::SwitchHover);
    ASSERT_EQ(hover.size(), 3u);
    EXPECT_EQ(hover[0].controlId, 1);
    EXPECT_EQ(hover[0].value, 1);
    EXPECT_EQ(hover[1].controlId, 1);
    EXPECT_EQ(hover[1].value, 0);
    EXPECT_EQ(hover[2].controlId, 2);
    EXPECT_EQ(hover[2].value, 1);

    log.Clear();
    Press(20, 5);
    Release(20, 5);
    Press(20, 5, Qt::RightButton); // the first takes left presses only: the second gets it
    Release(20, 5, Qt::RightButton);
    const auto changed = log.OfKind(SkinEventKind::SwitchChanged);
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed[0].controlId, 1);
    EXPECT_EQ(changed[1].controlId, 2);
}

TEST_F(SkinWindowTest, CrossingPanelsLeavesTheOldHoverControlBeforeTheMoveInTheNewPanel)
{
    CSkinForm& top = AddForm(40, 20, 0xFF000000u);
    CSkinForm& bottom = AddForm(40, 20, 0xFF000000u);
    Add(top, HoverSwitch(), 1, {0, 0, 40, 20});
    Add(bottom, HoverSwitch(), 2, {0, 0, 40, 20});
    Show();
    Move(5, 5);
    log.Clear();
    Move(5, 25);
    const std::vector<std::pair<int32_t, int32_t>> expected = {
        {SkinEventKind::SwitchHover, 1}, {SkinEventKind::SwitchHover, 2}, {SkinEventKind::MouseMove, 2}};
    EXPECT_EQ(KindsAndIds(log.Entries()), expected);
    EXPECT_EQ(log.Entries()[0].value, 0);
    EXPECT_EQ(log.Entries()[1].value, 1);
}

TEST_F(SkinWindowTest, ACapturingControlKeepsItsMovesOutsideItsRectangleAndPanel)
{
    kit.AddSolid(70, 8, 10, 0xFFFFFFFFu);
    CSkinForm& top = AddForm(60, 20, 0xFF000000u);
    CSkinForm& bottom = AddForm(60, 20, 0xFF000000u);
    auto fader = std::make_unique<CSelectorControl>();
    fader->SetField(CSelectorControl::FaderPicture, 70);
    fader->SetField(CSelectorControl::FaderRange, 255);
    fader->SetField(CSelectorControl::FaderLength, 40);
    CSelectorControl& added = Add(top, std::move(fader), 204, {10, 0, 0, 0});
    Add(bottom, HoverSwitch(), 2, {0, 0, 60, 20});
    Show();
    ASSERT_EQ(added.GetRect(), (SkinRect{10, 0, 50, 10})); // length by handle height

    Press(12, 5);
    Move(55, 30); // right of the fader, in the lower panel
    EXPECT_EQ(added.GetValue(), 255);
    Move(0, 35);
    EXPECT_EQ(added.GetValue(), 0);
    EXPECT_TRUE(log.OfKind(SkinEventKind::SwitchHover).empty());
    Release(0, 35);
    EXPECT_EQ(top.CapturedControlId(), 0);
    Move(30, 5); // no longer captured: the fader stays where it is
    EXPECT_EQ(added.GetValue(), 0);
    const auto reported = log.OfKind(SkinEventKind::SelectorChanged);
    ASSERT_GE(reported.size(), 3u);
    EXPECT_EQ(reported.back().value, 0);
}

TEST_F(SkinWindowTest, TimerPeriodZeroFiresEveryTickAndPeriodOneEverySecond)
{
    CSkinPicture font;
    MakeProportionalFont(font, std::vector<int32_t>(256, 4), 6);
    kit.AddPicture(80, font);
    CSkinForm& form = AddForm(60, 20, 0xFF000000u);
    CTextControl* texts[2];
    for (int period = 0; period < 2; ++period) {
        auto text = std::make_unique<CTextControl>();
        text->m_fontId = 80;
        text->m_scrollMode = 1;
        text->m_scrollPeriod = period;
        text->m_scrollStep = 1;
        texts[period] = &Add(form, std::move(text), 10 + period, {0, period * 10, 20, period * 10 + 7});
        texts[period]->SetText("much wider than twenty pixels");
        ASSERT_TRUE(texts[period]->IsScrolling());
    }
    Show();
    std::vector<int32_t> zero, one;
    for (int tick = 1; tick <= 6; ++tick) {
        Tick();
        zero.push_back(texts[0]->ScrollPosition());
        one.push_back(texts[1]->ScrollPosition());
    }
    EXPECT_EQ(zero, (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(one, (std::vector<int32_t>{0, 1, 1, 2, 2, 3}));
}

TEST_F(SkinWindowTest, TheQtTimerDrivesTheTickWhileTheStackIsStarted)
{
    CSkinPicture font;
    MakeProportionalFont(font, std::vector<int32_t>(256, 4), 6);
    kit.AddPicture(80, font);
    CSkinForm& form = AddForm(60, 20, 0xFF000000u);
    auto text = std::make_unique<CTextControl>();
    text->m_fontId = 80;
    text->m_scrollMode = 2;
    text->m_scrollStep = 1;
    CTextControl& added = Add(form, std::move(text), 10, {0, 0, 20, 7});
    added.SetText("much wider than twenty pixels");
    Show();
    stack.Start();
    EXPECT_TRUE(CGlobalTimer::IsRunning());
    EXPECT_TRUE(QTest::qWaitFor([&] { return added.ScrollPosition() >= 3; }, 5000));
    stack.Stop();
    EXPECT_FALSE(CGlobalTimer::IsRunning());
    const int32_t stopped = added.ScrollPosition();
    QTest::qWait(150);
    EXPECT_EQ(added.ScrollPosition(), stopped);
}

TEST_F(SkinWindowTest, HidingAPanelMovesThePanelsBelowUpAndRepaintsThem)
{
    AddForm(60, 10, 0xFFFF0000u);
    CSkinForm& middle = AddForm(60, 20, 0xFF00FF00u);
    CSkinForm& bottom = AddForm(60, 30, 0xFF0000FFu);
    auto shade = std::make_unique<CShadeArea>();
    shade->SetColour(0xFFFFFFFFu);
    Add(bottom, std::move(shade), 600, {0, 0, 10, 10});
    Show();
    EXPECT_EQ(stack.PanelOffset(&bottom), 30);
    EXPECT_EQ(window.height(), 60);

    window.ResetPresentedPixels();
    stack.ShowPanel(&middle, false);
    Flush();
    EXPECT_EQ(stack.PanelOffset(&bottom), 10);
    EXPECT_EQ(window.height(), 40);
    EXPECT_EQ(BackPixel(20, 10), 0xFF0000FFu);
    EXPECT_EQ(BackPixel(5, 10), 0xFE7F7FFEu); // the shade moved up with its panel
    EXPECT_EQ(BackPixel(5, 39), 0xFF0000FFu);
    EXPECT_EQ(window.PresentedPixels(), 60 * 40);

    stack.ShowPanel(&middle, true);
    Flush();
    EXPECT_EQ(BackPixel(20, 10), 0xFF00FF00u);
    EXPECT_EQ(BackPixel(20, 30), 0xFF0000FFu);
}

TEST_F(SkinWindowTest, OnlyDirtyRectanglesAreHandedToTheWindow)
{
    CSkinForm& form = AddForm(100, 50, 0xFF202020u);
    auto first = std::make_unique<CShadeArea>();
    CShadeArea& changed = Add(form, std::move(first), 600, {10, 10, 30, 25});
    Add(form, std::make_unique<CShadeArea>(), 601, {50, 10, 90, 40});
    Show();
    EXPECT_EQ(BackPixel(15, 15), 0xFE501010u); // 0xFF800000 over 0xFF202020
    Tick();                                    // nothing changed: nothing presented
    window.ResetPresentedPixels();
    Tick();
    EXPECT_EQ(window.PresentedPixels(), 0);

    changed.SetActive(false);
    Tick();
    EXPECT_EQ(window.PresentedPixels(), 20 * 15);
    EXPECT_EQ(BackPixel(15, 15), 0xFF202020u); // the background was restored under it
    EXPECT_EQ(BackPixel(60, 20), 0xFE501010u);
}

TEST_F(SkinWindowTest, UpdatesWaitForTheWindowToPaint)
{
    CSkinForm& form = AddForm(40, 20, 0xFF000000u);
    CShadeArea& shade = Add(form, std::make_unique<CShadeArea>(), 600, {0, 0, 10, 10});
    Show();
    shade.SetActive(false);
    stack.Tick(); // invalidates, the window has not painted yet
    EXPECT_FALSE(stack.PaintedSinceLastUpdate());
    shade.SetActive(true);
    stack.Tick(); // held back: one update per paint
    EXPECT_TRUE(shade.IsDirty());
    Flush();
    EXPECT_TRUE(stack.PaintedSinceLastUpdate());
    Tick();
    EXPECT_FALSE(shade.IsDirty());
    EXPECT_EQ(BackPixel(0, 0), 0xFE400000u);
}

TEST_F(SkinWindowTest, ThirtyThreePanelsAreRefused)
{
    for (int i = 0; i < CPanelStack::kMaxPanels; ++i) {
        forms.push_back(std::make_unique<CSkinForm>(kit.Pictures()));
        EXPECT_EQ(stack.AddPanel(forms.back().get(), false), i + 1);
    }
    CSkinForm extra(kit.Pictures());
    EXPECT_EQ(stack.AddPanel(&extra, true), -1);
    EXPECT_EQ(stack.PanelCount(), CPanelStack::kMaxPanels);
}
