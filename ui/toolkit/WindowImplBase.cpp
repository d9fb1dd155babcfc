#include "WindowImplBase.h"

#include "ControlUI.h"
#include "DialogBuilder.h"


namespace DuiLib {

WindowImplBase::WindowImplBase()
{
    AddHandler(L"click", [this](TNotifyUI& msg) { HandleClick(msg); });
}

void WindowImplBase::Notify(TNotifyUI& msg)
{
    NotifyPump(msg);
}

LRESULT WindowImplBase::MessageHandler(UINT msg, WPARAM wParam, LPARAM, bool& handled)
{
    if (msg == WM_KEYDOWN && wParam == VK_ESCAPE) {
        Close(IDOK);
        handled = true;
    }
    return 0;
}

CControlUI* WindowImplBase::CreateControl(const std::wstring&)
{
    return nullptr;
}

void WindowImplBase::HandleClick(TNotifyUI& msg)
{
    const std::wstring& name = msg.pSender ? msg.pSender->GetName() : std::wstring();
    if (name == L"closebtn")
        Close(IDOK);
    else if (name == L"minbtn")
        ::SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (name == L"maxbtn")
        ::SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    else if (name == L"restorebtn")
        ::SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_RESTORE, 0);
}

bool WindowImplBase::LoadSkinArchive()
{
    if (CPaintManagerUI::HasResourceZip())
        return true;
    if (GetResourceType() == UILIB_RESOURCETYPE::File) {
        CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath() + GetSkinFolder());
        return true;
    }
    if (GetResourceType() != UILIB_RESOURCETYPE::ZipResource)
        return false;
    return CPaintManagerUI::SetResourceZipFromResource(GetResourceID(), L"ZIPRES");
}

LRESULT WindowImplBase::HandleCreate(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = true;
    LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    style = (style & ~WS_CAPTION) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, style);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_pm.Init(m_hWnd);
    m_pm.AddPreMessageFilter(this);
    if (!LoadSkinArchive())
        return 0;
    CDialogBuilder builder;
    CControlUI* root = builder.Create(SkinFile(), this, &m_pm);
    if (!root) {
        ::MessageBoxW(nullptr, L"加载资源文件失败", L"Duilib", MB_OK | MB_ICONERROR);
        ::ExitProcess(1);
    }
    m_pm.AttachDialog(root);
    m_pm.AddNotifier(this);
    Init();
    return 0;
}

LRESULT WindowImplBase::HandleClose(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    return 0;
}

LRESULT WindowImplBase::HandleDestroy(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    return 0;
}

LRESULT WindowImplBase::HandleSysCommand(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    return 0;
}

LRESULT WindowImplBase::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    bool handled = false;
    switch (msg) {
    case WM_CREATE:
        result = HandleCreate(msg, wParam, lParam, handled);
        break;
    case WM_CLOSE:
        result = HandleClose(msg, wParam, lParam, handled);
        break;
    case WM_DESTROY:
        result = HandleDestroy(msg, wParam, lParam, handled);
        break;
    case WM_SYSCOMMAND:
        result = HandleSysCommand(msg, wParam, lParam, handled);
        break;
    default:
        break;
    }
    if (handled)
        return result;
    if (m_pm.MessageHandler(msg, wParam, lParam, result))
        return result;
    return CWindowWnd::HandleMessage(msg, wParam, lParam);
}

void WindowImplBase::OnFinalMessage(HWND)
{
    m_pm.RemovePreMessageFilter(this);
    m_pm.RemoveNotifier(this);
    m_pm.ReleaseControls();
    m_pm.Init(nullptr);
}

} // namespace DuiLib
