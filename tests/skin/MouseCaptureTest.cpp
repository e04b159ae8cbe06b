// The mouse handling the marker strip and the waveform overview share, driven through each of
// them inside a form without a window.
#include "MarkerDisplayControl.h"
#include "SkinEvent.h"
#include "SkinForm.h"
#include "SkinTestKit.h"
#include "WaveDisplayControl.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {

using namespace SkinEventKind;

struct Step {
    CSkinEvent event;
    int consumed;       // what HandleEvent answers
    int32_t capturedId; // the form's captured control afterwards
    size_t passedOn;    // listener entries afterwards
};

} // namespace

TEST(MouseCapture, PressHoldsTheMouseUntilTheLastReleaseAndMovesCountOnlyMeanwhile)
{
    const std::vector<Step> steps = {
        {CSkinEvent::Mouse(MouseMove, 3, 3, 0), 0, 0, 0},
        {CSkinEvent::Mouse(MouseEnter, 3, 3, 0), 0, 0, 1},
        {CSkinEvent::Button(3, 3, 0, false, true, false), 1, 7, 2},
        {CSkinEvent::Mouse(MouseMove, 40, 3, 0), 1, 7, 3},
        // A second button pressed while the first is held: two releases end the capture.
        {CSkinEvent::Button(3, 3, 0, true, true, false), 1, 7, 4},
        {CSkinEvent::Button(3, 3, 0, true, false, false), 1, 7, 5},
        {CSkinEvent::Mouse(MouseMove, 4, 3, 0), 1, 7, 6},
        {CSkinEvent::Button(3, 3, 0, false, false, false), 1, 0, 7},
        {CSkinEvent::Mouse(MouseMove, 5, 3, 0), 0, 0, 7},
        // A stray release neither captures nor goes below zero: the next press captures again.
        {CSkinEvent::Button(3, 3, 0, false, false, false), 1, 0, 8},
        {CSkinEvent::Button(3, 3, 0, false, false, true), 1, 7, 9},
        {CSkinEvent::Button(3, 3, 0, false, false, false), 1, 0, 10},
        {CSkinEvent::Wheel(3, 3, 0, 120), 0, 0, 10},
        {CSkinEvent::Mouse(MouseLeave, 3, 3, 0), 0, 0, 11},
    };
    const std::vector<std::pair<const char*, std::function<std::unique_ptr<CSkinControl>()>>> makers = {
        {CMarkerDisplayControl::ClassName(), [] { return std::make_unique<CMarkerDisplayControl>(); }},
        {CWaveDisplayControl::ClassName(), [] { return std::make_unique<CWaveDisplayControl>(); }},
    };
    for (const auto& [name, make] : makers) {
        CSkinTestKit kit;
        CSkinForm form{kit.Pictures()};
        CEventLog log;
        std::unique_ptr<CSkinControl> made = make();
        CSkinControl& control = *made;
        control.SetId(7);
        control.SetRect({0, 0, 20, 8});
        control.AddListener(&log);
        form.AddControl(std::move(made));
        for (size_t i = 0; i < steps.size(); ++i) {
            const Step& step = steps[i];
            EXPECT_EQ(control.HandleEvent(step.event), step.consumed) << name << " step " << i;
            EXPECT_EQ(form.CapturedControlId(), step.capturedId) << name << " step " << i;
            EXPECT_EQ(log.Entries().size(), step.passedOn) << name << " step " << i;
        }
    }
}
