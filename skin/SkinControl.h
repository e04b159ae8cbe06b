#pragma once

#include "SkinRect.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CByteReader;
class CByteWriter;
class CControlListener;
class CSkinEvent;
class CSkinForm;
class CSkinPicture;

// Base of every skin control. A control belongs to one form, draws itself into the back picture,
// turns mouse events into events for its listeners, and is repainted when dirty.
class CSkinControl {
public:
    CSkinControl() = default;
    CSkinControl(const CSkinControl&) = delete;
    CSkinControl& operator=(const CSkinControl&) = delete;

    virtual int Dispatch(const CSkinEvent& event) { return HandleEvent(event); }
    virtual ~CSkinControl() = default;
    // Reads the class data block that follows the record head.
    virtual void ReadData(CByteReader& stream) = 0;
    // Classes load their pictures here; the base stores the form.
    virtual void AttachForm(CSkinForm* form) { m_form = form; }
    // Releases the pictures before the control leaves its form.
    virtual void DetachForm() = 0;
    virtual void Invalidate() { m_dirty = true; }
    virtual void Validate() { m_dirty = false; }
    virtual bool IsDirty() const { return m_dirty; }
    virtual void SetRect(const SkinRect& rect) { m_rect = rect; }
    virtual SkinRect GetRect() const { return m_rect; }
    virtual int32_t Width() const { return m_rect.Width(); }
    virtual int32_t Height() const { return m_rect.Height(); }
    virtual void SetEnabled(bool enabled) { m_enabled = enabled; }
    virtual bool IsEnabled() const { return m_enabled; }
    virtual void SetVisible(bool visible) { m_visible = visible; }
    virtual bool IsVisible() const { return m_visible; }
    virtual void Draw(CSkinPicture& picture) = 0;
    // Called for every control when the panel stack lays out.
    virtual void Refresh() {}
    // Non-zero when the event was consumed.
    virtual int HandleEvent(const CSkinEvent& event) = 0;
    virtual void AddListener(CControlListener* listener);
    virtual void RemoveListener(CControlListener* listener);
    virtual void NotifyListeners(const CSkinEvent& event);
    // Writes the record head (newest record version); classes append their block.
    virtual void WriteData(CByteWriter& stream) const;
    virtual int32_t GetMaskPicture() const { return m_maskPicture; }
    virtual void SetMaskPicture(int32_t id) { m_maskPicture = id; }
    virtual void SetEraseBackground(bool erase) { m_eraseBackground = erase; }
    virtual bool GetEraseBackground() const { return m_eraseBackground; }
    virtual void SetAnchorFlags(int32_t flags) { m_anchorFlags = flags; }
    virtual int32_t GetAnchorFlags() const { return m_anchorFlags; }

    int32_t Id() const { return m_id; }
    void SetId(int32_t id) { m_id = id; }
    const std::string& ClassName() const { return m_className; }
    void SetClassName(std::string name) { m_className = std::move(name); }
    CSkinForm* Form() const { return m_form; }

    // Form services. Timer id 0 of this control; a control outside a form has none of them.
    void StartTimer(int32_t period);
    void StopTimer();
    void CaptureMouse();
    int32_t CapturedControlId() const;
    void ReleaseMouse();
    CSkinPicture* GetPicture(int32_t id);
    void ReleasePicture(int32_t id);

    static constexpr int32_t kRecordVersion = 5;

protected:
    // Invalidate when the shown value changed: the setters' common tail.
    void MarkChanged() { Invalidate(); }

    CSkinForm* m_form = nullptr; // the owning form outlives the control's membership

private:
    int32_t m_id = 0;
    SkinRect m_rect;
    std::string m_className;
    std::vector<CControlListener*> m_listeners; // not owned; they outlive their subscription
    bool m_dirty = true;
    bool m_enabled = true;
    bool m_visible = true;
    int32_t m_maskPicture = -1; // picture id for alpha hit-testing, -1 = the whole rectangle
    bool m_eraseBackground = true;
    int32_t m_anchorFlags = 0;
};
