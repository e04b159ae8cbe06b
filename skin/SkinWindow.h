#pragma once

#include "SkinRect.h"
#include "WindowPort.h"

#include <QWidget>

#include <cstdint>

class CPanelStack;

// The main window's client area as a Qt widget: presents the damaged rectangles of the panel
// stack's back picture and turns Qt's pointer events into the stack's calls. The first window
// also installs the QTimer behind the skin's 41 ms global tick.
class CSkinWindow : public QWidget, public CWindowPort {
public:
    explicit CSkinWindow(QWidget* parent = nullptr);
    ~CSkinWindow() override;

    // The stack whose back picture is shown and which receives the input; it outlives the
    // attachment (Attach(nullptr) ends it).
    void Attach(CPanelStack* stack, bool hasFrame = false);
    CPanelStack* GetStack() const { return m_stack; }

    void SetCapture() override;
    void ReleaseCapture() override;
    void SetClientSize(int32_t width, int32_t height) override;
    void SetResizable(bool resizable) override;
    void InvalidateAll() override;
    void InvalidateRect(const SkinRect& rect) override;
    bool GetUpdateRect(SkinRect& rect) const override;

    // Pixels handed to the screen since the last reset: what the dirty-rectangle painting costs.
    int64_t PresentedPixels() const { return m_presentedPixels; }
    void ResetPresentedPixels() { m_presentedPixels = 0; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Button(QMouseEvent* event, bool down, bool doubleClick);

    CPanelStack* m_stack = nullptr;
    SkinRect m_damaged; // invalidated, not yet painted (window coordinates)
    bool m_resizable = false;
    int64_t m_presentedPixels = 0;
};
