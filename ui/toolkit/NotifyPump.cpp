#include "NotifyPump.h"

namespace DuiLib {

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

bool CNotifyPump::NotifyPump(TNotifyUI& msg)
{
    if (!msg.sVirtualWnd.empty()) {
        auto it = m_virtualWnds.find(msg.sVirtualWnd);
        return it != m_virtualWnds.end() && it->second->NotifyPump(msg);
    }
    auto it = m_map.find(msg.sType);
    if (it == m_map.end())
        return false;
    it->second(msg);
    return true;
}

} // namespace DuiLib
