#pragma once

#include "SkinControl.h"

class CNativeWindow;

// A place-holder in a form that keeps a native child window over its rectangle.
class CWindowsControlHost : public CSkinControl {
public:
    static const char* ClassName() { return "Generic Windows Ctrl"; }
    static std::unique_ptr<CSkinControl> Create();
    static constexpr int32_t kClassVersion = 1;

    void ReadData(CByteReader& stream) override;
    void DetachForm() override { m_form = nullptr; }
    void SetRect(const SkinRect& rect) override;
    void SetEnabled(bool enabled) override;
    void SetVisible(bool visible) override;
    void Draw(CSkinPicture& picture) override;
    void Refresh() override;
    int HandleEvent(const CSkinEvent&) override { return 0; }
    void WriteData(CByteWriter& stream) const override;

    // The window outlives its attachment; null detaches.
    void SetWindow(CNativeWindow* window);

private:
    void Place();

    CNativeWindow* m_window = nullptr;
};
