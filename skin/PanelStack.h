#pragma once

#include "FormOwner.h"
#include "GlobalTimer.h"
#include "SkinPicture.h"
#include "SkinRect.h"

#include <array>
#include <cstdint>

class CSkinForm;
class CWindowPort;

// The forms of the main window stacked top to bottom in one back picture: lays them out, routes
// pointer input to the panel and control under it, runs the form timers on the 41 ms tick and
// repaints only dirty controls, at most once per completed window paint.
class CPanelStack : public CFormOwner, public CTimerClient {
public:
    static constexpr int kMaxPanels = 32;

    // The window outlives the stack.
    explicit CPanelStack(CWindowPort& window);
    ~CPanelStack() override;

    virtual void Start();
    virtual void Stop();
    // The window painted: the next update may go ahead.
    virtual void OnPaint();
    virtual int OnDestroy();
    virtual int OnMouseButton(int32_t x, int32_t y, bool right, bool down, bool doubleClick, uint32_t keys);
    virtual int OnMouseMove(int32_t x, int32_t y, uint32_t keys);
    virtual int OnMouseWheel(int32_t x, int32_t y, uint32_t keys, int32_t delta);
    virtual int OnKeyDown(uint32_t /*key*/) { return 0; }
    virtual int OnKeyUp(uint32_t /*key*/) { return 0; }
    virtual void GetSize(int32_t& width, int32_t& height) const;
    void CapturePanel(CSkinForm* form) override;
    void ReleasePanel() override;
    // Repaints every visible panel in full and invalidates the window.
    virtual void PaintWindow();
    virtual void Update(bool dirtyOnly);
    SkinRect PanelRectToWindow(const CSkinForm* form, const SkinRect& rect) const override;
    virtual void WindowToPanel(const CSkinForm* form, int32_t& x, int32_t& y) const;
    virtual void PanelToWindow(const CSkinForm* form, int32_t& x, int32_t& y) const;
    void Layout(CSkinForm* form) override;
    void Tick() override;

    // The form outlives its panel entry. -1 when 32 panels exist; otherwise the new count.
    int AddPanel(CSkinForm* form, bool visible);
    void ShowPanel(CSkinForm* form, bool visible);
    // A width or height <= 0 keeps that dimension.
    void ResizePanel(CSkinForm* form, int32_t width, int32_t height);
    void SetAutoSize(bool autoSize) { m_autoSize = autoSize; }

    CSkinPicture& BackPicture() { return m_back; }
    int PanelCount() const { return m_count; }
    bool IsPanelVisible(const CSkinForm* form) const;
    int32_t PanelOffset(const CSkinForm* form) const;
    bool PaintedSinceLastUpdate() const { return m_painted; }

private:
    struct Panel {
        CSkinForm* form = nullptr;
        bool visible = false;
        int32_t reserved[2] = {0, 0};
        int32_t offsetY = 0; // top of the panel's band in the back picture
        int32_t width = 0;
        int32_t height = 0;
    };

    int Find(const CSkinForm* form) const;
    // The panel under window point y (the captured one if any); -1 when none. y becomes panel y.
    int SelectPanel(int32_t& y) const;
    void MarkBelowDirty(int index);

    CWindowPort& m_window;
    std::array<Panel, kMaxPanels> m_panels;
    int m_count = 0;
    CSkinForm* m_hoverPanel = nullptr;
    CSkinForm* m_capturedPanel = nullptr;
    CSkinPicture m_back;
    bool m_autoSize = true;
    int m_layoutInProgress = 0;
    bool m_painted = true; // the window has painted since the last update that invalidated
    bool m_started = false;
};
