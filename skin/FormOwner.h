#pragma once

#include "SkinRect.h"

class CSkinForm;

// What a form needs from the panel stack (or dialog) it lives in.
class CFormOwner {
public:
    virtual ~CFormOwner() = default;
    // The form's size or background changed.
    virtual void Layout(CSkinForm* form) = 0;
    // All pointer input goes to the form until ReleasePanel.
    virtual void CapturePanel(CSkinForm* form) = 0;
    virtual void ReleasePanel() = 0;
    // Form coordinates to window coordinates.
    virtual SkinRect PanelRectToWindow(const CSkinForm* form, const SkinRect& rect) const = 0;
};
