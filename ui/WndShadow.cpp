#include "WndShadow.h"

#include "util/GdiObject.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

using UpdateLayeredWindowFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD);
using DwmIsCompositionEnabledFn = HRESULT(WINAPI*)(BOOL*);
using DwmSetWindowAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);

const wchar_t kShadowClass[] = L"DaskelShadowWnd";
const DWORD kNonClientRenderingPolicy = 2;
const DWORD kNonClientRenderingDisabled = 1;

// What start-up prepares once for every shadow of the process.
struct ShadowSupport {
    UpdateLayeredWindowFn updateLayeredWindow = nullptr;
    DwmIsCompositionEnabledFn isCompositionEnabled = nullptr;
    DwmSetWindowAttributeFn setWindowAttribute = nullptr;
    HINSTANCE instance = nullptr;
    std::map<HWND, CWndShadow*> shadows;
};

ShadowSupport& Support()
{
    static ShadowSupport support;
    return support;
}

bool CompositionEnabled()
{
    BOOL enabled = FALSE;
    return Support().isCompositionEnabled && SUCCEEDED(Support().isCompositionEnabled(&enabled)) && enabled;
}

// GetProcAddress hands back a generic pointer; the caller knows the real type.
template <typename Fn>
Fn Lookup(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

struct Anchor {
    int start;
    int end;
};

} // namespace

bool CWndShadow::Initialize(HINSTANCE instance)
{
    ShadowSupport& support = Support();
    if (support.updateLayeredWindow)
        return true;
    HMODULE user32 = ::LoadLibraryW(L"USER32.DLL");
    support.updateLayeredWindow = Lookup<UpdateLayeredWindowFn>(user32, "UpdateLayeredWindow");
    if (!support.updateLayeredWindow)
        return false;
    if (HMODULE dwm = ::LoadLibraryW(L"dwmapi.dll")) {
        support.isCompositionEnabled = Lookup<DwmIsCompositionEnabledFn>(dwm, "DwmIsCompositionEnabled");
        support.setWindowAttribute = Lookup<DwmSetWindowAttributeFn>(dwm, "DwmSetWindowAttribute");
    }
    support.instance = instance;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_VREDRAW | CS_HREDRAW;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kShadowClass;
    ::RegisterClassExW(&wc);
    return true;
}

bool CWndShadow::IsAvailable()
{
    return Support().updateLayeredWindow != nullptr;
}

void CWndShadow::Attach(HWND owner)
{
    ShadowSupport& support = Support();
    if (!support.updateLayeredWindow || !owner)
        return;
    support.shadows[owner] = this;
    m_owner = owner;
    m_shadow = ::CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT, kShadowClass, nullptr, WS_POPUPWINDOW,
                                 CW_USEDEFAULT, 0, 0, 0, owner, nullptr, support.instance, nullptr);
    m_status = kEnabled;
    if (CompositionEnabled()) {
        if (support.setWindowAttribute) {
            DWORD policy = kNonClientRenderingDisabled;
            support.setWindowAttribute(owner, kNonClientRenderingPolicy, &policy, sizeof(policy));
        } else {
            m_status |= kDisabledByAero;
        }
    }
    RefreshVisibility(owner);
    m_parentProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWndShadow::HookedParentProc)));
}

void CWndShadow::RefreshVisibility(HWND owner, bool showing)
{
    m_status &= kEnabled | kDisabledByAero;
    if ((m_status & kEnabled) && !(m_status & kDisabledByAero)) {
        LONG_PTR style = ::GetWindowLongPtrW(owner, GWL_STYLE);
        if ((style & WS_VISIBLE) || showing) {
            m_status |= kParentVisible;
            if (!(style & (WS_MAXIMIZE | WS_MINIMIZE)))
                m_status |= kVisible;
        }
    }
    if (m_status & kVisible) {
        ::ShowWindow(m_shadow, SW_SHOWNA);
        Redraw(owner);
    } else {
        ::ShowWindow(m_shadow, SW_HIDE);
    }
}

void CWndShadow::RedrawIfVisible()
{
    if (IsVisible() && m_owner)
        Redraw(m_owner);
}

void CWndShadow::Redraw(HWND owner)
{
    if (!Support().updateLayeredWindow || !m_shadow)
        return;
    RECT ownerRect{};
    ::GetWindowRect(owner, &ownerRect);
    int width = ownerRect.right - ownerRect.left + 2 * m_size;
    int height = ownerRect.bottom - ownerRect.top + 2 * m_size;
    if (width <= 0 || height <= 0)
        return;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    CGdiObject<HBITMAP> bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits)
        return;
    std::fill_n(static_cast<uint32_t*>(bits), size_t(width) * size_t(height), 0u);
    RenderShadow(CShadowPixels{static_cast<uint32_t*>(bits), width, height, true}, owner, ownerRect);

    CMemoryDC memory(nullptr, std::move(bitmap));
    if (!memory)
        return;
    POINT position{ownerRect.left + m_xOffset - m_size, ownerRect.top + m_yOffset - m_size};
    SIZE size{width, height};
    POINT source{0, 0};
    ::MoveWindow(m_shadow, position.x, position.y, width, height, FALSE);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    Support().updateLayeredWindow(m_shadow, nullptr, &position, &size, memory.Get(), &source, 0, &blend, ULW_ALPHA);
}

void CWndShadow::RenderShadow(const CShadowPixels& pixels, HWND owner, const RECT& ownerRect) const
{
    const int W = ownerRect.right - ownerRect.left, H = ownerRect.bottom - ownerRect.top;
    const int SW = pixels.width, SH = pixels.height;
    const int s = m_size, p = m_sharpness, d = m_darkness, x = m_xOffset, y = m_yOffset;
    if (W <= 0 || H <= 0 || SW <= 0 || SH <= 0)
        return;

    // 1-2. The owner's shape as one run of columns per row.
    CGdiObject<HRGN> shape(::CreateRectRgn(0, 0, W, H));
    if (owner)
        ::GetWindowRgn(owner, shape.Get());
    std::vector<Anchor> ownerRows(size_t(H), Anchor{W, 0});
    for (int r = 0; r < H; ++r) {
        int start = 0;
        while (start < W && !::PtInRegion(shape.Get(), start, r))
            ++start;
        if (start == W)
            continue;
        int end = W;
        while (end > start && !::PtInRegion(shape.Get(), end - 1, r))
            --end;
        ownerRows[size_t(r)] = Anchor{start, end};
    }

    // 3. Working anchors: the owner's rows shifted by the size, empty around.
    const int rows = std::max(H, SH) + 2;
    std::vector<Anchor> anchors(size_t(rows), Anchor{W, 0});
    for (int r = 0; r < H; ++r) {
        int row = r + 1 + s;
        if (row > 0 && row < rows - 1 && (s <= 0 || (row > s && row < SH + 1 - s)))
            anchors[size_t(row)] = Anchor{ownerRows[size_t(r)].start + s, ownerRows[size_t(r)].end + s};
    }

    // 4. Erosion: the soft edge starts inside the shape when it is wider than the size.
    for (int pass = 0; pass < p - s; ++pass) {
        std::vector<Anchor> previous = anchors;
        for (int j = 1; j < rows - 1; ++j) {
            int start = std::max({previous[size_t(j - 1)].start, previous[size_t(j)].start, previous[size_t(j + 1)].start});
            int end = std::min({previous[size_t(j - 1)].end, previous[size_t(j)].end, previous[size_t(j + 1)].end});
            anchors[size_t(j)] = Anchor{start + 1, end - 1};
        }
    }

    // 5. The kernel stamped along the edge.
    const int K = std::max(s, p), C = s > p ? s - p : 0, side = 2 * K + 1;
    auto shade = [&](int alpha) {
        return uint32_t(alpha) << 24 | uint32_t(GetRValue(m_color) * alpha / 255) << 16 |
               uint32_t(GetGValue(m_color) * alpha / 255) << 8 | uint32_t(GetBValue(m_color) * alpha / 255);
    };
    std::vector<uint32_t> kernel(size_t(side) * size_t(side), 0);
    for (int ky = 0; ky < side; ++ky)
        for (int kx = 0; kx < side; ++kx) {
            double t = std::sqrt(double((kx - K) * (kx - K) + (ky - K) * (ky - K)));
            int alpha = 0;
            if (t < C)
                alpha = d;
            else if (t <= K)
                alpha = int((1.0 - (t - C) / (p + 1)) * d);
            kernel[size_t(ky * side + kx)] = alpha > 0 ? shade(alpha) : 0;
        }
    auto stamp = [&](int column, int row) {
        for (int ky = 0; ky < side; ++ky) {
            int py = row - K + ky;
            if (py < 0 || py >= SH)
                continue;
            uint32_t* line = pixels.Row(py);
            for (int kx = 0; kx < side; ++kx) {
                int px = column - K + kx;
                if (px >= 0 && px < SW)
                    line[px] = std::max(line[px], kernel[size_t(ky * side + kx)]);
            }
        }
    };
    const int rowShift = s < 0 ? 1 - s : 1;
    auto anchorOf = [&](int shadowRow) {
        int row = shadowRow + rowShift;
        return row >= 0 && row < rows ? anchors[size_t(row)] : Anchor{W, 0};
    };

    // 6. Soft edge: stamp the left and right runs of every row where the
    //    shape's outline lies, using the rows above and below to find it.
    for (int i = K; i <= SH - K - 1; ++i) {
        Anchor row = anchorOf(i), above = anchorOf(i - 1), below = anchorOf(i + 1);
        if (row.start >= row.end)
            continue;
        int reached = row.start;
        int leftEnd = std::min(std::max(above.start, below.start) + 1, row.end);
        for (; reached < leftEnd; ++reached)
            stamp(reached, i);
        for (int c = std::max(reached, std::min(above.end, below.end) - 1); c < row.end; ++c)
            stamp(c, i);
    }

    // 7. Full darkness inside the eroded shape, cut out where the owner lies.
    const uint32_t centre = shade(d);
    auto fill = [&](uint32_t* line, int from, int to, uint32_t value) {
        for (int c = std::max(from, 0); c < std::min(to, SW); ++c)
            line[c] = value;
    };
    int first = std::min(K, std::max(s - y, 0));
    int last = std::max(SH - K, std::min(H + s - y, H + 2 * s));
    for (int i = std::max(first, 0); i < std::min(last, SH); ++i) {
        Anchor row = anchorOf(i);
        uint32_t* line = pixels.Row(i);
        int r = i - s + y;
        if (r < 0 || r >= H) {
            fill(line, row.start, row.end, centre);
            continue;
        }
        const Anchor& ownerRow = ownerRows[size_t(r)];
        fill(line, row.start, std::min(ownerRow.start + s - x, row.end), centre);
        fill(line, std::max(ownerRow.start + s - x, 0), std::min(ownerRow.end + s - x, SW), 0);
        fill(line, std::max(ownerRow.end + s - x, row.start), row.end, centre);
    }
}

void CWndShadow::MoveWithOwner(HWND owner)
{
    RECT rc{};
    ::GetWindowRect(owner, &rc);
    ::SetWindowPos(m_shadow, HWND_TOP, rc.left + m_xOffset - m_size, rc.top + m_yOffset - m_size, 0, 0,
                   SWP_NOSIZE | SWP_NOACTIVATE);
}

void CWndShadow::OnOwnerSize(HWND owner, WPARAM wParam, LPARAM lParam)
{
    if (!(m_status & kEnabled) || (m_status & kDisabledByAero))
        return;
    if (wParam == SIZE_MINIMIZED || wParam == SIZE_MAXIMIZED) {
        ::ShowWindow(m_shadow, SW_HIDE);
        m_status &= ~kVisible;
    } else if (::GetWindowLongPtrW(owner, GWL_STYLE) & WS_VISIBLE) {
        m_status |= kParentVisible;
        if (!(m_status & kVisible)) {
            m_status |= kVisible;
            Redraw(owner);
            ::ShowWindow(m_shadow, SW_SHOWNA);
            m_redrawPending = true;
        } else if (LOWORD(lParam) > LOWORD(m_lastOwnerSize) || HIWORD(lParam) > HIWORD(m_lastOwnerSize)) {
            // Growing: the owner paints its new area first, then the shadow follows.
            m_redrawPending = true;
        } else {
            Redraw(owner);
        }
    }
    m_lastOwnerSize = lParam;
}

LRESULT CWndShadow::OnOwnerShowWindow(HWND owner, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = ::CallWindowProcW(m_parentProc, owner, WM_SHOWWINDOW, wParam, lParam);
    if (!wParam) {
        ::ShowWindow(m_shadow, SW_HIDE);
        m_status &= ~(kVisible | kParentVisible);
    } else {
        // WM_SHOWWINDOW comes before the owner gets WS_VISIBLE; without
        // counting it as shown, a window shown without a later WM_SIZE (a
        // hidden start shown by a second start) would never get its shadow.
        m_redrawPending = true;
        RefreshVisibility(owner, true);
    }
    return result;
}

LRESULT CALLBACK CWndShadow::HookedParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto& shadows = Support().shadows;
    auto found = shadows.find(hwnd);
    if (found == shadows.end())
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    CWndShadow& shadow = *found->second;
    WNDPROC previous = shadow.m_parentProc;
    bool active = (shadow.m_status & kEnabled) && !(shadow.m_status & kDisabledByAero);
    switch (msg) {
    case WM_DESTROY:
        if (shadow.m_shadow)
            ::DestroyWindow(std::exchange(shadow.m_shadow, nullptr));
        break;
    case WM_MOVE:
        if (shadow.m_status & kVisible)
            shadow.MoveWithOwner(hwnd);
        break;
    case WM_SIZE:
        shadow.OnOwnerSize(hwnd, wParam, lParam);
        break;
    case WM_PAINT:
        if (shadow.m_redrawPending) {
            shadow.Redraw(hwnd);
            shadow.m_redrawPending = false;
        }
        break;
    case WM_SHOWWINDOW:
        if (active)
            return shadow.OnOwnerShowWindow(hwnd, wParam, lParam);
        break;
    case WM_NCDESTROY:
        shadows.erase(found);
        break;
    case WM_EXITSIZEMOVE:
        if (shadow.m_status & kVisible)
            shadow.Redraw(hwnd);
        break;
    case WM_DWMCOMPOSITIONCHANGED:
        if (CompositionEnabled())
            shadow.m_status |= kDisabledByAero;
        else
            shadow.m_status &= ~kDisabledByAero;
        shadow.RefreshVisibility(hwnd);
        break;
    default:
        break;
    }
    return ::CallWindowProcW(previous, hwnd, msg, wParam, lParam);
}
