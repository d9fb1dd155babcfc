#include "ControlHost.h"

#include "ContainerUI.h"
#include "EditUI.h"
#include "OptionUI.h"
#include "SkinRenderer.h"

#include "util/UniqueHandle.h"

#include <objidl.h>
#include <gdiplus.h>
#include <shlwapi.h>
#include <windowsx.h>

#include <algorithm>

namespace uitk {
namespace {

// What every window of the process shares.
struct ProcessState {
    HINSTANCE instance = nullptr;
    std::wstring resourcePath;
    CZipArchive archive;
    std::vector<char> archiveCopy;
    std::vector<CControlHost*> managers;
};

ProcessState& Process()
{
    static ProcessState state;
    return state;
}

std::unique_ptr<Gdiplus::Bitmap> DecodeImage(const std::string& bytes)
{
    if (bytes.empty() || !CSkinRenderer::StartGdiplus())
        return nullptr;
    IStream* stream = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), UINT(bytes.size()));
    if (!stream)
        return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream));
    std::unique_ptr<Gdiplus::Bitmap> copy;
    // A premultiplied copy draws fastest and frees the stream at once.
    if (decoded && decoded->GetLastStatus() == Gdiplus::Ok) {
        copy = std::make_unique<Gdiplus::Bitmap>(int(decoded->GetWidth()), int(decoded->GetHeight()),
                                                 PixelFormat32bppPARGB);
        Gdiplus::Graphics graphics(copy.get());
        graphics.DrawImage(decoded.get(), 0, 0, int(decoded->GetWidth()), int(decoded->GetHeight()));
    }
    decoded.reset();
    stream->Release();
    if (copy && copy->GetLastStatus() != Gdiplus::Ok)
        copy.reset();
    return copy;
}

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

} // namespace

CControlHost::CControlHost()
{
    Process().managers.push_back(this);
}

CControlHost::~CControlHost()
{
    ReleaseControls();
    RemoveItem(Process().managers, this);
}

HINSTANCE CControlHost::GetInstance()
{
    HINSTANCE instance = Process().instance;
    return instance ? instance : ::GetModuleHandleW(nullptr);
}

void CControlHost::SetInstance(HINSTANCE instance)
{
    Process().instance = instance;
}

std::wstring CControlHost::GetInstancePath()
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameW(GetInstance(), path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

const std::wstring& CControlHost::GetResourcePath()
{
    return Process().resourcePath;
}

void CControlHost::SetResourcePath(const std::wstring& path)
{
    Process().resourcePath = path;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/')
        Process().resourcePath += L'\\';
}

bool CControlHost::SetResourceZip(const void* data, size_t size)
{
    return Process().archive.Open(data, size);
}

bool CControlHost::SetResourceZipFromResource(UINT id, const wchar_t* type)
{
    HINSTANCE instance = GetInstance();
    HRSRC found = ::FindResourceW(instance, MAKEINTRESOURCEW(id), type);
    HGLOBAL loaded = found ? ::LoadResource(instance, found) : nullptr;
    DWORD size = found ? ::SizeofResource(instance, found) : 0;
    const char* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    if (!bytes || size == 0)
        return false;
    std::vector<char>& copy = Process().archiveCopy;
    copy.assign(bytes, bytes + size);
    return SetResourceZip(copy.data(), copy.size());
}

bool CControlHost::HasResourceZip()
{
    return Process().archive.IsOpen();
}

bool CControlHost::ReadSkinFile(const std::wstring& name, std::string& bytes)
{
    bytes.clear();
    if (name.empty())
        return false;
    if (HasResourceZip())
        return Process().archive.Read(name, bytes);
    CUniqueHandle file(::CreateFileW((GetResourcePath() + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > 64 * 1024 * 1024)
        return false;
    bytes.resize(size_t(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!::ReadFile(file.Get(), bytes.data(), DWORD(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
        bytes.clear();
        return false;
    }
    return true;
}

bool CControlHost::TranslateMessage(const MSG* msg)
{
    if (!msg || !msg->hwnd)
        return false;
    // Copy: a filter may close its window and so end its manager.
    std::vector<CControlHost*> managers = Process().managers;
    for (CControlHost* manager : managers) {
        HWND window = manager->m_window;
        if (!window || (msg->hwnd != window && !::IsChild(window, msg->hwnd)))
            continue;
        LRESULT result = 0;
        if (manager->PreMessageHandler(msg->message, msg->wParam, msg->lParam, result))
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
    m_window = window;
}

bool CControlHost::AttachDialog(CControlUI* root)
{
    ReleaseControls();
    m_root = root;
    if (!m_root)
        return false;
    m_root->SetManager(this, nullptr, true);
    if (m_window && m_initSize.cx > 0 && m_initSize.cy > 0)
        ::SetWindowPos(m_window, nullptr, 0, 0, m_initSize.cx, m_initSize.cy,
                       SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    UpdateLayout();
    return true;
}

void CControlHost::ReleaseControls()
{
    CControlUI* root = std::exchange(m_root, nullptr);
    m_hot = m_captured = nullptr;
    delete root;
    m_timers.clear();
}

CControlUI* CControlHost::FindControl(const std::wstring& name) const
{
    return m_root && !name.empty() ? m_root->FindControlByName(name) : nullptr;
}

CControlUI* CControlHost::FindControl(POINT pt) const
{
    return m_root ? m_root->FindControlAt(pt) : nullptr;
}

void CControlHost::ForEachOptionInGroup(const std::wstring& group,
                                           const std::function<void(COptionUI&)>& action) const
{
    VisitTree(m_root, [&](CControlUI& control) {
        auto* option = static_cast<COptionUI*>(control.GetInterface(L"Option"));
        if (option && option->GetGroup() == group)
            action(*option);
    });
}

void CControlHost::SetInitSize(int cx, int cy)
{
    m_initSize = SIZE{cx, cy};
}

bool CControlHost::IsCaptionPoint(POINT pt)
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
void CControlHost::AddFont(int id, const std::wstring& face, int size, bool bold, bool italic)
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

HFONT CControlHost::GetFont(int id) const
{
    auto it = m_fonts.find(id);
    if (it != m_fonts.end() && it->second)
        return it->second.Get();
    return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

Gdiplus::Bitmap* CControlHost::GetImage(const std::wstring& name)
{
    auto it = m_images.find(name);
    if (it != m_images.end())
        return it->second.get();
    std::string bytes;
    std::unique_ptr<Gdiplus::Bitmap> image;
    if (ReadSkinFile(name, bytes))
        image = DecodeImage(bytes);
    // A missing image is remembered too, so it is not searched on every paint.
    return (m_images[name] = std::move(image)).get();
}

bool CControlHost::AddNotifier(INotificationSink* notifier) { return AddUnique(m_notifiers, notifier); }
bool CControlHost::RemoveNotifier(INotificationSink* notifier) { return RemoveItem(m_notifiers, notifier); }
bool CControlHost::AddPreMessageFilter(IMessageFilter* filter) { return AddUnique(m_preFilters, filter); }
bool CControlHost::RemovePreMessageFilter(IMessageFilter* filter) { return RemoveItem(m_preFilters, filter); }

void CControlHost::SendNotify(CControlUI* control, const std::wstring& type, WPARAM wParam, LPARAM lParam)
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
    std::vector<INotificationSink*> receivers = m_notifiers;
    for (INotificationSink* receiver : receivers)
        if (std::find(m_notifiers.begin(), m_notifiers.end(), receiver) != m_notifiers.end())
            receiver->Notify(msg);
}

bool CControlHost::SetTimer(CControlUI* control, UINT id, UINT elapse)
{
    if (!control || !m_window)
        return false;
    for (Timer& timer : m_timers)
        if (timer.control == control && timer.id == id)
            return ::SetTimer(m_window, timer.nativeId, elapse, nullptr) != 0;
    UINT_PTR nativeId = m_nextTimerId++;
    if (!::SetTimer(m_window, nativeId, elapse, nullptr))
        return false;
    m_timers.push_back(Timer{control, id, nativeId});
    return true;
}

bool CControlHost::KillTimer(CControlUI* control, UINT id)
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

void CControlHost::ForgetInput(CControlUI* control)
{
    if (m_hot == control)
        m_hot = nullptr;
    if (m_captured == control) {
        m_captured = nullptr;
        if (m_window && ::GetCapture() == m_window)
            ::ReleaseCapture();
    }
}

void CControlHost::ReapControl(CControlUI* control)
{
    ForgetInput(control);
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

void CControlHost::Invalidate(const RECT& rc)
{
    if (m_window)
        ::InvalidateRect(m_window, &rc, FALSE);
}

void CControlHost::NeedUpdate()
{
    m_needUpdate = true;
    if (m_window)
        ::InvalidateRect(m_window, nullptr, FALSE);
}

void CControlHost::UpdateLayout()
{
    m_needUpdate = false;
    if (m_root)
        m_root->SetPos(ClientRect());
}

void CControlHost::EnsureLayout()
{
    if (m_needUpdate)
        UpdateLayout();
}

RECT CControlHost::ClientRect() const
{
    RECT rc{0, 0, m_initSize.cx, m_initSize.cy};
    if (m_window)
        ::GetClientRect(m_window, &rc);
    return rc;
}

void CControlHost::PaintTo(HDC dc) { PaintTo(dc, ClientRect()); }

// Only the controls over `area` are drawn, and only there: the bar's 100 ms
// frame timer must not cost a drawing of the whole window each time.
void CControlHost::PaintTo(HDC dc, const RECT& area)
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

void CControlHost::OnPaint()
{
    PAINTSTRUCT ps{};
    HDC dc = ::BeginPaint(m_window, &ps);
    if (dc)
        PaintTo(dc, ps.rcPaint);
    ::EndPaint(m_window, &ps);
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

bool CControlHost::MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
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
        if (m_captured && reinterpret_cast<HWND>(lParam) != m_window) {
            SendEvent(std::exchange(m_captured, nullptr), EventType::ButtonUp, pt);
        }
        return false;
    case WM_TIMER:
        OnTimer(wParam);
        return false;
    case WM_CTLCOLOREDIT: {
        auto* edit = reinterpret_cast<CEditUI*>(::GetWindowLongPtrW(reinterpret_cast<HWND>(lParam), GWLP_USERDATA));
        if (!edit)
            return false;
        result = reinterpret_cast<LRESULT>(edit->NativeBackground(reinterpret_cast<HDC>(wParam)));
        return true;
    }
    case kEndEditMessage: {
        HWND native = reinterpret_cast<HWND>(lParam);
        auto* edit = ::IsWindow(native)
                         ? reinterpret_cast<CEditUI*>(::GetWindowLongPtrW(native, GWLP_USERDATA))
                         : nullptr;
        if (edit && edit->GetNativeWindow() == native && ::GetFocus() != native)
            edit->EndEditing();
        return true;
    }
    default:
        return false;
    }
}

void CControlHost::SendEvent(CControlUI* control, EventType type, POINT pt, WPARAM wParam)
{
    if (!control)
        return;
    SControlEvent event;
    event.kind = type;
    event.sender = control;
    event.mouse = pt;
    event.wParam = wParam;
    control->DoEvent(event);
}

void CControlHost::SetHot(CControlUI* control, POINT pt)
{
    if (control == m_hot)
        return;
    SendEvent(std::exchange(m_hot, control), EventType::MouseLeave, pt);
    SendEvent(m_hot, EventType::MouseEnter, pt);
}

void CControlHost::OnMouseMove(POINT pt)
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

void CControlHost::OnButtonDown(POINT pt)
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

void CControlHost::OnButtonUp(POINT pt)
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

void CControlHost::OnTimer(UINT_PTR nativeId)
{
    for (const Timer& timer : m_timers) {
        if (timer.nativeId != nativeId)
            continue;
        SendEvent(timer.control, EventType::Timer, POINT{}, timer.id);
        return;
    }
}

} // namespace uitk
