#include "ControlTimers.h"

#include "ControlUI.h"

namespace uitk {

bool CControlTimers::Set(CControlUI* control, UINT id, UINT elapse)
{
    if (!control || !m_window)
        return false;
    for (const Timer& timer : m_timers)
        if (timer.control == control && timer.id == id)
            return ::SetTimer(m_window, timer.nativeId, elapse, nullptr) != 0;
    UINT_PTR nativeId = m_nextNativeId++;
    if (!::SetTimer(m_window, nativeId, elapse, nullptr))
        return false;
    m_timers.push_back(Timer{control, id, nativeId});
    return true;
}

bool CControlTimers::Kill(CControlUI* control, UINT id)
{
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->control != control || it->id != id)
            continue;
        if (m_window)
            ::KillTimer(m_window, it->nativeId);
        m_timers.erase(it);
        return true;
    }
    return false;
}

void CControlTimers::KillAllOf(CControlUI* control)
{
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it->control != control) {
            ++it;
            continue;
        }
        if (m_window)
            ::KillTimer(m_window, it->nativeId);
        it = m_timers.erase(it);
    }
}

void CControlTimers::OnTimer(UINT_PTR nativeId) const
{
    for (const Timer& timer : m_timers) {
        if (timer.nativeId != nativeId)
            continue;
        SControlEvent event;
        event.kind = EventType::Timer;
        event.sender = timer.control;
        event.wParam = timer.id;
        // Nothing of the list is used after this: the control may set or
        // kill timers while it handles the event.
        timer.control->DoEvent(event);
        return;
    }
}

} // namespace uitk
