#pragma once

#include "SkinRect.h"

#include <array>
#include <cstdint>

class CPanelStack;
class CSkinForm;

// The main window's tool tips: one tool per (panel, control) with its string, covering the
// control's rectangle in window coordinates while the control and its panel are shown, and
// nothing otherwise. The window recomputes the rectangles after every panel change and asks
// which tool lies under the pointer.
//
// Threads: the user-interface thread.
class CMainToolTips {
public:
    struct Row {
        int panel; // the main window's panel number
        int32_t controlId;
        int32_t stringId;
    };
    static constexpr size_t kRows = 69;
    static const std::array<Row, kRows>& Table();

    // forms[panel] is the form of that panel, or null.
    void Reposition(const CPanelStack& stack, CSkinForm* const* forms, size_t formCount);
    // The row index of the tool under the window point, or -1.
    int ToolAt(int32_t x, int32_t y) const;
    const SkinRect& ToolRect(size_t row) const { return m_rects[row]; }
    void SetActive(bool active) { m_active = active; }
    bool Active() const { return m_active; }

private:
    std::array<SkinRect, kRows> m_rects{}; // empty while the control is hidden
    bool m_active = true;
};
