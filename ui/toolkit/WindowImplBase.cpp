#include "WindowImplBase.h"

#include "ControlUI.h"
#include "LayoutBuilder.h"
#include "SkinResources.h"


namespace uitk {

WindowImplBase::WindowImplBase()
{
    AddHandler(L"click", [this](SNotification& msg) { HandleClick(msg); });
}

void WindowImplBase::Notify(SNotification& msg)
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

void WindowImplBase::HandleClick(SNotification& msg)
{
    const std::wstring& name = msg.sender ? msg.sender->GetName() : std::wstring();
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
    if (CSkinResources::HasResourceZip())
        return true;
    if (GetResourceType() == UILIB_RESOURCETYPE::File) {
        CSkinResources::SetResourcePath(CSkinResources::GetInstancePath() + GetSkinFolder());
        return true;
    }
    if (GetResourceType() != UILIB_RESOURCETYPE::ZipResource)
        return false;
    return CSkinResources::SetResourceZipFromResource(GetResourceID(), L"ZIPRES");
}

LRESULT WindowImplBase::HandleCreate(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = true;
    LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    style = (style & ~WS_CAPTION) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, style);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_host.Init(m_hWnd);
    m_host.AddPreMessageFilter(this);
    if (!LoadSkinArchive())
        return 0;
    CLayoutBuilder builder;
    CControlUI* root = builder.Create(SkinFile(), this, &m_host);
    if (!root) {
        ::MessageBoxW(nullptr, L"加载资源文件失败", L"Duilib", MB_OK | MB_ICONERROR);
        ::ExitProcess(1);
    }
    m_host.AttachDialog(root);
    m_host.AddNotifier(this);
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
    if (m_host.MessageHandler(msg, wParam, lParam, result))
        return result;
    return CWindowWnd::HandleMessage(msg, wParam, lParam);
}

void WindowImplBase::OnFinalMessage(HWND)
{
    m_host.RemovePreMessageFilter(this);
    m_host.RemoveNotifier(this);
    m_host.ReleaseControls();
    m_host.Init(nullptr);
}

} // namespace uitk
