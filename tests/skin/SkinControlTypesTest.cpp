#include "SelectorControl.h"
#include "SkinEvent.h"
#include "SkinTestPictures.h"
#include "SkinWindowFixture.h"
#include "SwitchControl.h"
#include "TextControl.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kNormal = 0xFF102030u;
constexpr uint32_t kPressed = 0xFF405060u;
constexpr uint32_t kDisabled = 0xFF708090u;

} // namespace

TEST_F(SkinWindowTest, AThreeFrameSwitchShowsNormalPressedAndDisabledFrames)
{
    kit.AddStrip(90, 6, 6, {kNormal, kPressed, kDisabled});
    CSkinForm& form = AddForm(40, 20, 0xFF000000u);
    auto button = std::make_unique<CSwitchControl>();
    button->m_pictureId = 90;
    button->m_frameCount = 3;
    button->m_pressFrames = 1;
    button->m_disabledFrame = 1;
    CSwitchControl& added = Add(form, std::move(button), 800, {4, 4, 0, 0});
    Show();
    EXPECT_EQ(added.StatesPerGroup(), 1);
    EXPECT_EQ(added.GetRect(), (SkinRect{4, 4, 10, 10})); // one frame
    EXPECT_EQ(BackPixel(5, 5), kNormal);

    Press(5, 5);
    Tick();
    EXPECT_EQ(BackPixel(5, 5), kPressed);
    Release(5, 5);
    Tick();
    EXPECT_EQ(BackPixel(5, 5), kNormal);

    form.SetControlEnabled(800, false);
    Tick();
    EXPECT_EQ(BackPixel(5, 5), kDisabled);
    log.Clear();
    Press(5, 5); // a disabled control gets no input
    Release(5, 5);
    EXPECT_TRUE(log.Entries().empty());
}

TEST_F(SkinWindowTest, ARepeatingSwitchReportsOnPressAfterEightTicksAndThenEveryTwo)
{
    CSkinForm& form = AddForm(40, 20, 0xFF000000u);
    auto button = std::make_unique<CSwitchControl>();
    button->m_notifyMode = 2;
    button->m_repeatPeriod = 1;
    button->m_repeatDelay = 3;
    Add(form, std::move(button), 119, {0, 0, 10, 10});
    Show();
    Press(5, 5);
    std::vector<size_t> reportsAfterTick;
    for (int tick = 1; tick <= 12; ++tick) {
        Tick();
        reportsAfterTick.push_back(log.OfKind(SkinEventKind::SwitchChanged).size());
    }
    EXPECT_EQ(reportsAfterTick, (std::vector<size_t>{1, 1, 1, 1, 1, 1, 1, 2, 2, 3, 3, 4}));
    Release(5, 5);
    Tick(6);
    EXPECT_EQ(log.OfKind(SkinEventKind::SwitchChanged).size(), 4u);
    EXPECT_EQ(form.CapturedControlId(), 0);
}

TEST_F(SkinWindowTest, AFaderOfRange255ReachesBothEndsAndMovesFifteenPerWheelNotch)
{
    kit.AddSolid(70, 10, 8, 0xFFFFFFFFu);
    CSkinForm& form = AddForm(120, 20, 0xFF000000u);
    auto fader = std::make_unique<CSelectorControl>();
    fader->SetField(CSelectorControl::FaderPicture, 70);
    fader->SetField(CSelectorControl::FaderRange, 255);
    fader->SetField(CSelectorControl::FaderLength, 100);
    CSelectorControl& added = Add(form, std::move(fader), 5, {0, 0, 0, 0});
    Show();

    Press(99, 4);
    Release(99, 4);
    EXPECT_EQ(log.OfKind(SkinEventKind::SelectorChanged).back().value, 255);
    Tick();
    EXPECT_EQ(BackPixel(89, 4), 0xFFFFFFFFu); // the handle sits at the right end
    EXPECT_EQ(BackPixel(88, 4), 0xFF000000u);
    Press(0, 4);
    Release(0, 4);
    EXPECT_EQ(log.OfKind(SkinEventKind::SelectorChanged).back().value, 0);

    std::vector<int32_t> values;
    for (const auto& [delta, modifiers] :
         {std::pair{120, Qt::NoModifier}, std::pair{240, Qt::NoModifier}, std::pair{120, Qt::ShiftModifier},
          std::pair{-120, Qt::NoModifier}, std::pair{-1200, Qt::NoModifier}}) {
        Wheel(50, 4, delta, modifiers);
        values.push_back(log.OfKind(SkinEventKind::SelectorChanged).back().value);
    }
    EXPECT_EQ(values, (std::vector<int32_t>{15, 45, 46, 31, 0}));
    EXPECT_EQ(added.GetValue(), 0);
}

TEST_F(SkinWindowTest, AVerticalRelativeFaderFollowsTheDragDistance)
{
    kit.AddSolid(70, 8, 11, 0xFFFFFFFFu);
    CSkinForm& form = AddForm(20, 120, 0xFF000000u);
    auto fader = std::make_unique<CSelectorControl>();
    fader->SetField(CSelectorControl::FaderPicture, 70);
    fader->SetField(CSelectorControl::FaderRange, 255);
    fader->SetField(CSelectorControl::FaderLength, 100);
    fader->SetField(CSelectorControl::FaderVertical, 1);
    fader->SetField(CSelectorControl::FaderRelative, 1);
    CSelectorControl& added = Add(form, std::move(fader), 5, {0, 0, 0, 0});
    added.SetValue(128);
    Show();
    EXPECT_EQ(added.GetRect(), (SkinRect{0, 0, 8, 100}));
    const int32_t before = added.Field(CSelectorControl::FaderValue);
    // Travel 100 - 11 - 1 = 88 pixels for 4096: 22 pixels up is a quarter.
    Press(4, 50);
    Move(4, 28);
    EXPECT_EQ(added.Field(CSelectorControl::FaderValue), before + 1024);
    Move(4, 28 + 22, Qt::ShiftModifier); // with Shift 0.3 of the distance
    EXPECT_EQ(added.Field(CSelectorControl::FaderValue), before + 1024 - 307);
    Release(4, 50);
}

TEST_F(SkinWindowTest, AKnobRefusesToJumpAcrossItsBottomGapUnlessTurningFreely)
{
    kit.AddSolid(71, 40, 40, 0xFFFFFFFFu);
    for (const int freeTurn : {0, 1}) {
        CSkinForm& form = AddForm(60, 200, 0xFF000000u);
        auto knob = std::make_unique<CSelectorControl>();
        knob->SetField(CSelectorControl::KnobMode, 1);
        knob->SetField(CSelectorControl::KnobPicture, 71);
        knob->SetField(CSelectorControl::KnobAngular, 0);
        knob->SetField(CSelectorControl::KnobSteps, 100);
        knob->SetField(CSelectorControl::KnobValue, 1000);
        knob->SetField(CSelectorControl::KnobFreeTurn, freeTurn);
        CSelectorControl& added = Add(form, std::move(knob), 7, {0, 0, 0, 0});
        const int32_t top = stack.PanelOffset(&form);
        Show();
        EXPECT_EQ(added.GetRect(), (SkinRect{0, 0, 40, 40}));
        Press(20, top + 30);
        Move(20, top + 30 - 93); // 93 x 27 = 2511 up: to 3511, across the bottom
        Release(20, top + 30 - 93);
        EXPECT_EQ(added.Field(CSelectorControl::KnobValue), freeTurn != 0 ? 3511 : 1000) << freeTurn;
        stack.ShowPanel(&form, false);
    }
}

TEST_F(SkinWindowTest, AMarqueeThatFitsDoesNotScrollAndSitsAtTheLeftEdge)
{
    CSkinPicture font;
    MakeProportionalFont(font, std::vector<int32_t>(256, 4), 6);
    kit.AddPicture(80, font);
    CSkinForm& form = AddForm(80, 20, 0xFF000000u);
    auto text = std::make_unique<CTextControl>();
    text->m_fontId = 80;
    text->m_scrollMode = 1;
    text->m_centreX = 1;
    text->m_scrollStep = 2;
    CTextControl& added = Add(form, std::move(text), 19, {10, 0, 70, 6});
    added.SetText("ab");
    Show();
    Tick(3);
    EXPECT_FALSE(added.IsScrolling());
    EXPECT_EQ(BackPixel(10, 0), InkOf('a', 0));
    EXPECT_EQ(BackPixel(14, 0), InkOf('b', 0));

    // Twenty characters do not fit: the text scrolls by two pixels a tick, followed by " *** ".
    added.SetText("abcdefghijklmnopqrst");
    EXPECT_TRUE(added.IsScrolling());
    Tick(3);
    EXPECT_EQ(added.ScrollPosition(), 6);
    EXPECT_EQ(BackPixel(10, 0), InkOf('b', 2));
    EXPECT_EQ(BackPixel(69, 0), InkOf('q', 1)); // text x 65 = 16 glyphs and a column
    EXPECT_EQ(BackPixel(70, 0), 0xFF000000u);   // nothing past the right edge
    EXPECT_EQ(BackPixel(9, 0), 0xFF000000u);
}
