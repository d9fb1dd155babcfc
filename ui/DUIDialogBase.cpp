#include "DUIDialogBase.h"

#include "GifProgressUI.h"
#include "toolkit/ControlUI.h"

#include <algorithm>

namespace {

const int kShadowSize = 6;
const int kShadowOffset = 1;
const unsigned kShadowSharpness = 10;

} // namespace

CDUIDialogBase::CDUIDialogBase()
{
    uitk::RegisterGifProgress();
}

CDUIDialogBase::~CDUIDialogBase() = default;

std::deque<CDUIDialogBase*>& CDUIDialogBase::OpenDialogs()
{
    static std::deque<CDUIDialogBase*> dialogs;
    return dialogs;
}

void CDUIDialogBase::Notify(uitk::SNotification& msg)
{
    if (msg.type == L"click" && msg.sender && msg.sender->GetName() == L"btn_close") {
        if (::IsWindow(m_hWnd))
            ::PostMessageW(m_hWnd, WM_CLOSE, 2, 0);
        return;
    }
    NotifyPump(msg);
}

LRESULT CDUIDialogBase::MessageHandler(UINT msg, WPARAM wParam, LPARAM, bool& handled)
{
    if (msg == WM_KEYDOWN && wParam == VK_ESCAPE) {
        ::PostMessageW(m_hWnd, WM_CLOSE, 1, 0);
        handled = true;
    }
    return 0;
}

LRESULT CDUIDialogBase::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_TIMER)
        OnDialogTimer(wParam);
    return WindowImplBase::HandleMessage(msg, wParam, lParam);
}

void CDUIDialogBase::OnFinalMessage(HWND hwnd)
{
    // A window destroyed without WM_CLOSE must not stay listed once deleted.
    auto& dialogs = OpenDialogs();
    dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), this), dialogs.end());
    WindowImplBase::OnFinalMessage(hwnd);
    if (m_deleteOnFinal)
        delete this;
}

LRESULT CDUIDialogBase::HandleCreate(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled)
{
    WindowImplBase::HandleCreate(msg, wParam, lParam, handled);
    if (CWndShadow::IsAvailable()) {
        m_shadow.Attach(m_hWnd);
        m_shadow.SetSize(kShadowSize);
        m_shadow.SetPosition(kShadowOffset, kShadowOffset);
        m_shadow.SetSharpness(kShadowSharpness);
    }
    OpenDialogs().push_front(this);
    handled = true;
    return 0;
}

LRESULT CDUIDialogBase::HandleClose(UINT, WPARAM, LPARAM, bool& handled)
{
    auto& dialogs = OpenDialogs();
    auto it = std::find(dialogs.begin(), dialogs.end(), this);
    if (it != dialogs.end())
        dialogs.erase(it);
    handled = false;
    return 0;
}
