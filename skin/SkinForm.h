#pragma once

#include "SkinRect.h"

#include <cstdint>
#include <memory>
#include <vector>

class CByteReader;
class CByteWriter;
class CFormOwner;
class CPictureManager;
class CSkinControl;
class CSkinEvent;
class CSkinPicture;

// One panel of the skin: a background picture and its controls in paint and hit-test order,
// with hover tracking, mouse capture and per-control timers.
class CSkinForm {
public:
    // The picture manager outlives the form.
    explicit CSkinForm(CPictureManager& pictures);
    CSkinForm(const CSkinForm&) = delete;
    CSkinForm& operator=(const CSkinForm&) = delete;

    // sender: the panel stack or dialog that routed the event (unused by the form itself).
    virtual int HandleEvent(void* sender, const CSkinEvent& event);
    virtual ~CSkinForm();
    virtual void SetOwner(CFormOwner* owner) { m_owner = owner; }
    virtual CFormOwner* GetOwner() const { return m_owner; }
    virtual void AddControl(std::unique_ptr<CSkinControl> control);
    // Takes the first control with the id out of the form and hands it back (null when absent).
    virtual std::unique_ptr<CSkinControl> RemoveControl(int32_t id);
    virtual void RemoveAllControls();
    virtual void Paint(CSkinPicture& picture, bool dirtyOnly);
    virtual void RefreshControls();
    virtual bool HitTest(size_t index, int32_t x, int32_t y);
    virtual void SetBackground(int32_t pictureId);
    virtual void Write(CByteWriter& stream) const;
    // Reads a form; stops at a record of an unknown class or one cut by the end of the data,
    // keeping the controls before it. 0 for an empty stream.
    virtual int Read(CByteReader& stream);

    CSkinControl* FindControl(int32_t id) const;
    void SetControlEnabled(int32_t id, bool enabled);
    void InvalidateAll();
    // Union of the rectangles of the dirty, visible controls (form coordinates).
    SkinRect GetDirtyRect() const;
    void SetSize(int32_t width, int32_t height);
    void SetMinimumSize(bool resizable, int32_t width, int32_t height);
    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    bool IsResizable() const { return m_resizable; }
    int32_t BackgroundId() const { return m_backgroundId; }

    // A timer entry per (control, timer id); a period p fires every p + 1 ticks.
    void AddTimer(CSkinControl* control, int32_t timerId, int32_t period);
    void RemoveTimer(CSkinControl* control, int32_t timerId);
    void RunTimers();

    void Capture(int32_t controlId);
    void Release();
    int32_t CapturedControlId() const { return m_captured ? m_capturedId : 0; }
    // 1, or 0 when the FRM resource does not exist (the form then keeps what it had).
    int LoadResource(int32_t formId);

    size_t ControlCount() const { return m_controls.size(); }
    CSkinControl* ControlAt(size_t index) const { return m_controls[index].get(); }
    CPictureManager& Pictures() { return m_pictures; }
    bool IsVisible() const { return m_visible; }
    void SetVisible(bool visible) { m_visible = visible; }
    bool IsPainting() const { return m_painting; }

    // Pointer input reaches forms only while this process-wide switch is on; the application
    // turns it on when start-up is complete.
    static void SetInputEnabled(bool enabled);
    static bool IsInputEnabled();

private:
    struct Timer {
        CSkinControl* control; // null once removed during a run
        int32_t timerId;
        int32_t period;
        int32_t countdown;
    };

    void SendLeaveToHover(const CSkinEvent& from);
    const CSkinPicture* MaskPicture(int32_t id);
    void ForgetControl(const CSkinControl* control);

    std::vector<std::unique_ptr<CSkinControl>> m_controls;
    CFormOwner* m_owner = nullptr; // outlives the form's membership
    CPictureManager& m_pictures;
    int32_t m_backgroundId = -1;
    CSkinPicture* m_background = nullptr; // shared through the picture manager
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_minWidth = 0;
    int32_t m_minHeight = 0;
    bool m_resizable = false;
    bool m_hover = false;
    size_t m_hoverIndex = 0;
    bool m_captured = false;
    int32_t m_capturedId = 0;
    std::vector<Timer> m_timers;
    bool m_runningTimers = false;
    std::vector<int32_t> m_maskIds; // mask pictures held for hit-testing, released with the form
    bool m_painting = false;
    bool m_visible = true;
};
