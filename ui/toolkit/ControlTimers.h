#pragma once

#include <windows.h>

#include <vector>

namespace uitk {

class CControlUI;

// The timers the controls of one window ask for. Each (control, id) pair
// gets a native timer of the window; its WM_TIMER reaches the control as a
// timer event carrying the control's id.
class CControlTimers {
public:
    void SetWindow(HWND window) { m_window = window; }

    // Starts the timer, or restarts it with the new period; false without a window.
    bool Set(CControlUI* control, UINT id, UINT elapse);
    bool Kill(CControlUI* control, UINT id);
    void KillAllOf(CControlUI* control);
    // Forgets every timer without stopping it: its control is gone already.
    void Clear() { m_timers.clear(); }

    // Hands a WM_TIMER of the window to the control whose timer it is.
    void OnTimer(UINT_PTR nativeId) const;

private:
    struct Timer {
        CControlUI* control;
        UINT id;
        UINT_PTR nativeId;
    };

    HWND m_window = nullptr;
    std::vector<Timer> m_timers;
    UINT_PTR m_nextNativeId = 0x4B00;
};

} // namespace uitk
