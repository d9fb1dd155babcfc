#pragma once

#include "UIDefs.h"

#include <functional>
#include <map>
#include <string>

namespace uitk {

// Hands notifications to handlers by kind (the window's message map), or
// to a registered virtual window when the notification names one.
class CNotifyPump {
public:
    using Handler = std::function<void(SNotification&)>;

    void AddHandler(const std::wstring& type, Handler handler) { m_map[type] = std::move(handler); }
    bool AddVirtualWnd(const std::wstring& name, CNotifyPump* pump);
    bool RemoveVirtualWnd(const std::wstring& name);
    // False when nobody handles the notification.
    bool NotifyPump(SNotification& msg);

protected:
    ~CNotifyPump() = default;

private:
    std::map<std::wstring, Handler> m_map;
    std::map<std::wstring, CNotifyPump*> m_virtualWnds;
};

} // namespace uitk
