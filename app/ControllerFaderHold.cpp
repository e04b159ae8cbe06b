#include "ControllerFaderHold.h"

#include "Automix.h"
#include "ControlTable.h"
#include "PlayerCore.h"

#include <algorithm>

CControllerFaderHold::CControllerFaderHold(CPlayerCore& core) : m_core(core)
{
}

CControllerFaderHold::~CControllerFaderHold()
{
    if (m_lastTouch.exchange(kFree, std::memory_order_acq_rel) != kFree)
        Release();
}

void CControllerFaderHold::Touch(Clock::time_point now) noexcept
{
    const Clock::rep stamp = std::max<Clock::rep>(now.time_since_epoch().count(), kFree + 1);
    if (m_lastTouch.exchange(stamp, std::memory_order_acq_rel) == kFree)
        m_core.Automix().AddManualHold(1);
}

void CControllerFaderHold::Poll(Clock::time_point now)
{
    Clock::rep last = m_lastTouch.load(std::memory_order_acquire);
    if (last == kFree || now - Clock::time_point(Clock::duration(last)) < kIdle)
        return;
    // A Touch since the load keeps the hold.
    if (m_lastTouch.compare_exchange_strong(last, kFree, std::memory_order_acq_rel))
        Release();
}

void CControllerFaderHold::Release()
{
    // As the mouse's release: a Mix-File that plays takes the cross-fader back, and Automix may
    // move it again. The controller's last value stands until then.
    m_core.Mix().TakeOver(ControlId::XFader, 0, false);
    m_core.Automix().AddManualHold(-1);
}
