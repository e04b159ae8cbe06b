#pragma once

#include "SkinRect.h"

// A native child window placed over a control (the playlist's list view), seen from the skin.
class CNativeWindow {
public:
    virtual ~CNativeWindow() = default;
    // Window coordinates; neither activates the window nor changes its stacking order.
    virtual void Place(const SkinRect& rect) = 0;
    virtual void Show(bool visible) = 0;
};
