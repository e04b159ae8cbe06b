#pragma once

#include "ControlClassTable.h"
#include "PanelStack.h"
#include "SkinForm.h"
#include "SkinTestKit.h"
#include "SkinWindow.h"

#include <QApplication>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// A shown skin window over a panel stack, with forms made from pictures in memory. Ticks are
// driven by the tests, not by the Qt timer, so every count is exact.
class SkinWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterSkinControlClasses();
        CSkinForm::SetInputEnabled(true);
        m_clippedBefore = CSkinPicture::ClippedOperations();
    }
    void TearDown() override
    {
        // Forms that fit their window never draw outside the back picture.
        EXPECT_EQ(CSkinPicture::ClippedOperations(), m_clippedBefore);
        window.Attach(nullptr);
        CSkinForm::SetInputEnabled(false);
    }

    // A form with a plain background of its own picture id (1000 + panel number).
    CSkinForm& AddForm(int32_t width, int32_t height, uint32_t colour, bool visible = true)
    {
        const auto id = static_cast<int32_t>(1000 + forms.size());
        kit.AddSolid(id, width, height, colour);
        forms.push_back(std::make_unique<CSkinForm>(kit.Pictures()));
        forms.back()->SetBackground(id);
        stack.AddPanel(forms.back().get(), visible);
        return *forms.back();
    }

    template <typename Control>
    Control& Add(CSkinForm& form, std::unique_ptr<Control> control, int32_t id, const SkinRect& rect)
    {
        Control& added = *control;
        control->SetId(id);
        control->SetRect(rect);
        form.AddControl(std::move(control));
        added.AddListener(&log);
        return added;
    }

    void Show()
    {
        window.Attach(&stack);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        // Controls added after their panel are painted with everything else.
        stack.PaintWindow();
        Flush();
    }
    static void Flush()
    {
        QApplication::sendPostedEvents();
        QApplication::processEvents();
    }
    // One 41 ms tick of the skin, then the window paints what it was given.
    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i) {
            stack.Tick();
            Flush();
        }
    }

    void Move(int x, int y, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QMouseEvent event(QEvent::MouseMove, QPointF(x, y), window.mapToGlobal(QPointF(x, y)), Qt::NoButton,
                          m_buttons, modifiers);
        QApplication::sendEvent(&window, &event);
    }
    void Press(int x, int y, Qt::MouseButton button = Qt::LeftButton)
    {
        m_buttons |= button;
        QTest::mousePress(&window, button, Qt::NoModifier, QPoint(x, y));
    }
    void Release(int x, int y, Qt::MouseButton button = Qt::LeftButton)
    {
        m_buttons &= ~Qt::MouseButtons(button);
        QTest::mouseRelease(&window, button, Qt::NoModifier, QPoint(x, y));
    }
    void Wheel(int x, int y, int delta, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWheelEvent event(QPointF(x, y), window.mapToGlobal(QPointF(x, y)), QPoint(), QPoint(0, delta),
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&window, &event);
    }
    uint32_t BackPixel(int x, int y) { return stack.BackPicture().PixelAt(x, y); }

    CSkinTestKit kit;
    CEventLog log;
    CSkinWindow window;
    std::vector<std::unique_ptr<CSkinForm>> forms;
    CPanelStack stack{window};

private:
    Qt::MouseButtons m_buttons;
    int64_t m_clippedBefore = 0;
};
