#include "MouseCapture.h"

#include "SkinControl.h"
#include "SkinEvent.h"

int CMouseCapture::HandleEvent(CSkinControl& control, const CSkinEvent& event)
{
    using namespace SkinEventKind;
    switch (event.kind) {
    case MouseButton:
        if (event.down || event.doubleClick) {
            if (m_captures++ == 0)
                control.CaptureMouse();
        } else if (m_captures > 0 && --m_captures == 0) {
            control.ReleaseMouse();
        }
        control.NotifyListeners(event);
        return 1;
    case MouseEnter:
    case MouseLeave:
        control.NotifyListeners(event);
        return 0;
    case MouseMove:
        if (m_captures > 0) {
            control.NotifyListeners(event);
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}
