#include "ControlTree.h"

#include "ContainerUI.h"
#include "EditUI.h"
#include "OptionUI.h"

#include <windowsx.h>

#include <algorithm>

namespace uitk {
namespace {

template <typename T>
bool AddUnique(std::vector<T*>& list, T* item)
{
    if (!item || std::find(list.begin(), list.end(), item) != list.end())
        return false;
    list.push_back(item);
    return true;
}

template <typename T>
bool RemoveItem(std::vector<T*>& list, T* item)
{
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end())
        return false;
    list.erase(it);
    return true;
}

void VisitTree(CControlUI* control, const std::function<void(CControlUI&)>& visit)
{
    if (!control)
        return;
    visit(*control);
    if (auto* container = static_cast<CContainerUI*>(control->GetInterface(L"Container")))
        for (int i = 0; i < container->GetCount(); ++i)
            VisitTree(container->GetItemAt(i), visit);
}

// The edit box whose native window this is, if any.
CEditUI* EditOfNativeWindow(HWND native)
{
    return reinterpret_cast<CEditUI*>(::GetWindowLongPtrW(native, GWLP_USERDATA));
}

} // namespace

void CControlTree::FitWindowToLayout()
{
    if (m_window && m_initSize.cx > 0 && m_initSize.cy > 0)
        ::SetWindowPos(m_window, nullptr, 0, 0, m_initSize.cx, m_initSize.cy,
                       SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    UpdateLayout();
}

void CControlTree::Release()
{
    CControlUI* root = std::exchange(m_root, nullptr);
    m_hot = m_captured = nullptr;
    delete root;
}

CControlUI* CControlTree::FindControl(const std::wstring& name) const
{
    return m_root && !name.empty() ? m_root->FindControlByName(name) : nullptr;
}

CControlUI* CControlTree::FindControl(POINT pt) const
{
    return m_root ? m_root->FindControlAt(pt) : nullptr;
}

void CControlTree::ForEachOptionInGroup(const std::wstring& group,
                                        const std::function<void(COptionUI&)>& action) const
{
    VisitTree(m_root, [&](CControlUI& control) {
        auto* option = static_cast<COptionUI*>(control.GetInterface(L"Option"));
        if (option && option->GetGroup() == group)
            action(*option);
    });
}

bool CControlTree::IsCaptionPoint(POINT pt)
{
    EnsureLayout();
    RECT client = ClientRect();
    if (pt.x < client.left + m_caption.left || pt.x >= client.right - m_caption.right ||
        pt.y < client.top + m_caption.top || pt.y >= client.top + m_caption.bottom)
        return false;
    CControlUI* control = FindControl(pt);
    return !control || (!control->GetInterface(L"Button") && !control->GetInterface(L"Text"));
}

// The fonts take every property but face, size, weight and slant from the
// system's default GUI font.
void CControlTree::AddFont(int id, const std::wstring& face, int size, bool bold, bool italic)
{
    LOGFONTW font{};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
    face.copy(font.lfFaceName, LF_FACESIZE - 1);
    font.lfFaceName[std::min<size_t>(face.size(), LF_FACESIZE - 1)] = L'\0';
    font.lfHeight = -size;
    if (bold)
        font.lfWeight = std::min<LONG>(font.lfWeight + FW_BOLD, FW_HEAVY);
    font.lfItalic = italic ? TRUE : FALSE;
    font.lfQuality = ANTIALIASED_QUALITY;
    m_fonts[id].Reset(::CreateFontIndirectW(&font));
}

HFONT CControlTree::GetFont(int id) const
{
    auto it = m_fonts.find(id);
    if (it != m_fonts.end() && it->second)
        return it->second.Get();
    return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

bool CControlTree::AddNotifier(INotificationSink* notifier) { return AddUnique(m_notifiers, notifier); }
bool CControlTree::RemoveNotifier(INotificationSink* notifier) { return RemoveItem(m_notifiers, notifier); }

void CControlTree::SendNotify(CControlUI* control, const std::wstring& type, WPARAM wParam, LPARAM lParam)
{
    SNotification msg;
    msg.type = type;
    msg.sender = control;
    msg.timestamp = ::GetTickCount();
    msg.wParam = wParam;
    msg.lParam = lParam;
    if (m_window) {
        ::GetCursorPos(&msg.mouse);
        ::ScreenToClient(m_window, &msg.mouse);
    }
    // A receiver may remove others (or itself) while it handles the notification.
    std::vector<INotificationSink*> receivers = m_notifiers;
    for (INotificationSink* receiver : receivers)
        if (std::find(m_notifiers.begin(), m_notifiers.end(), receiver) != m_notifiers.end())
            receiver->Notify(msg);
}

void CControlTree::ForgetInput(CControlUI* control)
{
    if (m_hot == control)
        m_hot = nullptr;
    if (m_captured == control) {
        m_captured = nullptr;
        if (m_window && ::GetCapture() == m_window)
            ::ReleaseCapture();
    }
}

void CControlTree::Invalidate(const RECT& rc)
{
    if (m_window)
        ::InvalidateRect(m_window, &rc, FALSE);
}

void CControlTree::NeedUpdate()
{
    m_needUpdate = true;
    if (m_window)
        ::InvalidateRect(m_window, nullptr, FALSE);
}

void CControlTree::UpdateLayout()
{
    m_needUpdate = false;
    if (m_root)
        m_root->SetPos(ClientRect());
}

void CControlTree::EnsureLayout()
{
    if (m_needUpdate)
        UpdateLayout();
}

RECT CControlTree::ClientRect() const
{
    RECT rc{0, 0, m_initSize.cx, m_initSize.cy};
    if (m_window)
        ::GetClientRect(m_window, &rc);
    return rc;
}

void CControlTree::PaintTo(HDC dc) { PaintTo(dc, ClientRect()); }

// Only the controls over `area` are drawn, and only there: the bar's 100 ms
// frame timer must not cost a drawing of the whole window each time.
void CControlTree::PaintTo(HDC dc, const RECT& area)
{
    EnsureLayout();
    RECT client = ClientRect();
    RECT part{};
    if (!::IntersectRect(&part, &area, &client))
        return;
    // Everything is drawn off screen first, so the window never flickers.
    CMemoryDC memory(dc, CGdiObject<HBITMAP>(::CreateCompatibleBitmap(dc, client.right - client.left,
                                                                      client.bottom - client.top)));
    if (!memory)
        return;
    ::IntersectClipRect(memory.Get(), part.left, part.top, part.right, part.bottom);
    ::FillRect(memory.Get(), &part, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    if (m_root)
        m_root->DoPaint(memory.Get(), part);
    ::BitBlt(dc, part.left, part.top, part.right - part.left, part.bottom - part.top, memory.Get(), part.left,
             part.top, SRCCOPY);
}

void CControlTree::OnPaint()
{
    PAINTSTRUCT ps{};
    HDC dc = ::BeginPaint(m_window, &ps);
    if (dc)
        PaintTo(dc, ps.rcPaint);
    ::EndPaint(m_window, &ps);
}

bool CControlTree::MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (msg) {
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_PAINT:
        OnPaint();
        return true;
    case WM_PRINTCLIENT:
        PaintTo(reinterpret_cast<HDC>(wParam));
        return true;
    case WM_SIZE:
        if (m_root)
            NeedUpdate();
        return false;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        if (m_minInfo.cx > 0)
            info->ptMinTrackSize = POINT{m_minInfo.cx, m_minInfo.cy};
        if (m_maxInfo.cx > 0)
            info->ptMaxTrackSize = POINT{m_maxInfo.cx, m_maxInfo.cy};
        return false;
    }
    case WM_NCHITTEST: {
        POINT client = pt;
        ::ScreenToClient(m_window, &client);
        result = IsCaptionPoint(client) ? HTCAPTION : HTCLIENT;
        return true;
    }
    case WM_MOUSEMOVE:
        OnMouseMove(pt);
        return true;
    case WM_MOUSELEAVE:
        m_tracking = false;
        if (!m_captured)
            SetHot(nullptr, pt);
        return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        OnButtonDown(pt);
        return true;
    case WM_LBUTTONUP:
        OnButtonUp(pt);
        return true;
    case WM_CAPTURECHANGED:
        if (m_captured && reinterpret_cast<HWND>(lParam) != m_window)
            SendEvent(std::exchange(m_captured, nullptr), EventType::ButtonUp, pt);
        return false;
    case WM_CTLCOLOREDIT:
    case kEndEditMessage:
        return OnEditMessage(msg, wParam, lParam, result);
    default:
        return false;
    }
}

// The native window of an edit box asks for its colours, and tells when it
// lost the focus so that the box ends its editing.
bool CControlTree::OnEditMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    HWND native = reinterpret_cast<HWND>(lParam);
    if (msg == WM_CTLCOLOREDIT) {
        CEditUI* edit = EditOfNativeWindow(native);
        if (!edit)
            return false;
        result = reinterpret_cast<LRESULT>(edit->NativeBackground(reinterpret_cast<HDC>(wParam)));
        return true;
    }
    CEditUI* edit = ::IsWindow(native) ? EditOfNativeWindow(native) : nullptr;
    if (edit && edit->GetNativeWindow() == native && ::GetFocus() != native)
        edit->EndEditing();
    return true;
}

void CControlTree::SendEvent(CControlUI* control, EventType type, POINT pt)
{
    if (!control)
        return;
    SControlEvent event;
    event.kind = type;
    event.sender = control;
    event.mouse = pt;
    control->DoEvent(event);
}

void CControlTree::SetHot(CControlUI* control, POINT pt)
{
    if (control == m_hot)
        return;
    SendEvent(std::exchange(m_hot, control), EventType::MouseLeave, pt);
    SendEvent(m_hot, EventType::MouseEnter, pt);
}

void CControlTree::OnMouseMove(POINT pt)
{
    EnsureLayout();
    if (!m_tracking) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, m_window, 0};
        m_tracking = ::TrackMouseEvent(&track) != FALSE;
    }
    CControlUI* control = FindControl(pt);
    if (control && (!control->IsMouseEnabled() || !control->IsEnabled()))
        control = nullptr;
    // While a control holds the capture it alone is hot, and only above itself.
    if (m_captured)
        control = control == m_captured ? control : nullptr;
    SetHot(control, pt);
    SendEvent(m_captured, EventType::MouseMove, pt);
}

void CControlTree::OnButtonDown(POINT pt)
{
    EnsureLayout();
    CControlUI* control = FindControl(pt);
    if (!control || !control->IsMouseEnabled() || !control->IsEnabled())
        return;
    m_captured = control;
    ::SetCapture(m_window);
    SetHot(control, pt);
    SendEvent(control, EventType::ButtonDown, pt);
}

void CControlTree::OnButtonUp(POINT pt)
{
    CControlUI* control = std::exchange(m_captured, nullptr);
    if (::GetCapture() == m_window)
        ::ReleaseCapture();
    if (!control)
        return;
    SendEvent(control, EventType::ButtonUp, pt);
    // The click counts only when the button goes up over the control it went down on.
    if (::PtInRect(&control->GetPos(), pt) && FindControl(pt) == control)
        control->Activate();
}

} // namespace uitk
