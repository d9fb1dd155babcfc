#include "ControlHost.h"

#include "ControlUI.h"

#include <algorithm>

namespace uitk {
namespace {

// Every host of the process, for the filters of the message loop.
std::vector<CControlHost*>& Hosts()
{
    static std::vector<CControlHost*> hosts;
    return hosts;
}

} // namespace

CControlHost::CControlHost()
{
    Hosts().push_back(this);
}

CControlHost::~CControlHost()
{
    ReleaseControls();
    auto& hosts = Hosts();
    hosts.erase(std::remove(hosts.begin(), hosts.end(), this), hosts.end());
}

bool CControlHost::TranslateMessage(const MSG* msg)
{
    if (!msg || !msg->hwnd)
        return false;
    // Copy: a filter may close its window and so end its host.
    std::vector<CControlHost*> hosts = Hosts();
    for (CControlHost* host : hosts) {
        HWND window = host->GetPaintWindow();
        if (!window || (msg->hwnd != window && !::IsChild(window, msg->hwnd)))
            continue;
        LRESULT result = 0;
        if (host->PreMessageHandler(msg->message, msg->wParam, msg->lParam, result))
            return true;
    }
    return false;
}

int CControlHost::MessageLoop()
{
    MSG msg{};
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (TranslateMessage(&msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return int(msg.wParam);
}

void CControlHost::Init(HWND window)
{
    m_tree.SetWindow(window);
    m_timers.SetWindow(window);
}

bool CControlHost::AttachDialog(CControlUI* root)
{
    ReleaseControls();
    if (!root)
        return false;
    m_tree.SetRoot(root);
    root->SetManager(this, nullptr, true);
    m_tree.FitWindowToLayout();
    return true;
}

void CControlHost::ReleaseControls()
{
    m_tree.Release();
    m_timers.Clear();
}

void CControlHost::ReapControl(CControlUI* control)
{
    m_tree.ForgetInput(control);
    m_timers.KillAllOf(control);
}

bool CControlHost::MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (msg != WM_TIMER)
        return m_tree.MessageHandler(msg, wParam, lParam, result);
    result = 0;
    m_timers.OnTimer(wParam);
    return false;
}

bool CControlHost::AddPreMessageFilter(IMessageFilter* filter)
{
    auto& filters = m_preFilters;
    if (!filter || std::find(filters.begin(), filters.end(), filter) != filters.end())
        return false;
    filters.push_back(filter);
    return true;
}

bool CControlHost::RemovePreMessageFilter(IMessageFilter* filter)
{
    auto it = std::find(m_preFilters.begin(), m_preFilters.end(), filter);
    if (it == m_preFilters.end())
        return false;
    m_preFilters.erase(it);
    return true;
}

bool CControlHost::PreMessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    std::vector<IMessageFilter*> filters = m_preFilters;
    for (IMessageFilter* filter : filters) {
        bool handled = false;
        result = filter->MessageHandler(msg, wParam, lParam, handled);
        if (handled)
            return true;
    }
    return false;
}

} // namespace uitk
