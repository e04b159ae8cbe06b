#include "ControllerFaderHold.h"

#include "Automix.h"
#include "ControlTable.h"
#include "PlayerCore.h"

CControllerFaderHold::CControllerFaderHold(CPlayerCore& core) : m_core(core)
{
}

CControllerFaderHold::~CControllerFaderHold()
{
    if (m_held)
        Release();
}

void CControllerFaderHold::Poll(uint64_t messages, Clock::time_point now)
{
    if (messages != m_messages) {
        m_messages = messages;
        m_lastMove = now;
        if (!m_held) {
            m_held = true;
            m_core.Automix().AddManualHold(1);
        }
        return;
    }
    if (m_held && now - m_lastMove >= kIdle)
        Release();
}

void CControllerFaderHold::Release()
{
    // As the mouse's release: a Mix-File that plays takes the cross-fader back, and Automix may
    // move it again. The controller's last value stands until then.
    m_held = false;
    m_core.Mix().TakeOver(ControlId::XFader, 0, false);
    m_core.Automix().AddManualHold(-1);
}
