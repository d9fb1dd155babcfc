#include "NotifyPump.h"

namespace uitk {

bool CNotifyPump::AddVirtualWnd(const std::wstring& name, CNotifyPump* pump)
{
    if (!pump || name.empty())
        return false;
    return m_virtualWnds.emplace(name, pump).second;
}

bool CNotifyPump::RemoveVirtualWnd(const std::wstring& name)
{
    return m_virtualWnds.erase(name) > 0;
}

bool CNotifyPump::NotifyPump(SNotification& msg)
{
    if (!msg.virtualWindow.empty()) {
        auto it = m_virtualWnds.find(msg.virtualWindow);
        return it != m_virtualWnds.end() && it->second->NotifyPump(msg);
    }
    auto it = m_map.find(msg.type);
    if (it == m_map.end())
        return false;
    it->second(msg);
    return true;
}

} // namespace uitk
