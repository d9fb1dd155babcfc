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

// A run of columns [start, end) of one row; empty when start >= end.
struct Anchor {
    int start;
    int end;
};

// The shadow's settings, widened to int for the arithmetic of the drawing.
struct ShadowLook {
    int size;
    int sharpness;
    int darkness;
    int xOffset;
    int yOffset;
    COLORREF color;
};

// The rows of the shadow image: image row i reads working row i + shift;
// outside the working rows every row is empty.
struct ShadowRows {
    std::vector<Anchor> rows;
    int shift;
    int ownerWidth;

    Anchor operator[](int imageRow) const
    {
        int row = imageRow + shift;
        return row >= 0 && row < int(rows.size()) ? rows[size_t(row)] : Anchor{ownerWidth, 0};
    }
};

// A square of shadow pixels, darkest in the middle, stamped along the outline.
struct Falloff {
    int radius;
    std::vector<uint32_t> pixels; // (2 * radius + 1) squared, row by row

    int Side() const { return 2 * radius + 1; }
    uint32_t At(int column, int row) const { return pixels[size_t(row * Side() + column)]; }
};

// Premultiplied: the colour's components scaled by the alpha.
uint32_t ShadePixel(COLORREF color, int alpha)
{
    return uint32_t(alpha) << 24 | uint32_t(GetRValue(color) * alpha / 255) << 16 |
           uint32_t(GetGValue(color) * alpha / 255) << 8 | uint32_t(GetBValue(color) * alpha / 255);
}

// The owner's window region, or its whole rectangle when it has none,
// limited to the owner's own rectangle.
CGdiObject<HRGN> OwnerShape(HWND owner, SIZE size)
{
    CGdiObject<HRGN> shape(::CreateRectRgn(0, 0, size.cx, size.cy));
    CGdiObject<HRGN> windowRegion(::CreateRectRgn(0, 0, 0, 0));
    if (owner && shape && windowRegion && ::GetWindowRgn(owner, windowRegion.Get()) != ERROR)
        ::CombineRgn(shape.Get(), shape.Get(), windowRegion.Get(), RGN_AND);
    return shape;
}

std::vector<RECT> RegionRectangles(HRGN region)
{
    DWORD bytes = region ? ::GetRegionData(region, 0, nullptr) : 0;
    if (bytes < sizeof(RGNDATAHEADER))
        return {};
    std::vector<char> buffer(bytes);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    if (::GetRegionData(region, bytes, data) != bytes)
        return {};
    const RECT* first = reinterpret_cast<const RECT*>(data->Buffer);
    return std::vector<RECT>(first, first + data->rdh.nCount);
}

// Each row of the owner as the run from its first to one past its last
// pixel inside the shape; a gap inside a row belongs to the run.
std::vector<Anchor> ReadOwnerRows(HWND owner, SIZE size)
{
    std::vector<Anchor> rows(size_t(size.cy), Anchor{size.cx, 0});
    for (const RECT& rc : RegionRectangles(OwnerShape(owner, size).Get())) {
        for (LONG row = std::max<LONG>(rc.top, 0); row < std::min<LONG>(rc.bottom, size.cy); ++row) {
            Anchor& run = rows[size_t(row)];
            run.start = std::min<int>(run.start, rc.left);
            run.end = std::max<int>(run.end, rc.right);
        }
    }
    return rows;
}

// The owner's rows moved right and down by the shadow's size, with empty
// rows around them: one above and below, and with a positive size the
// size's width of rows inside the image's top and bottom edges.
std::vector<Anchor> PlaceOwnerRows(const std::vector<Anchor>& ownerRows, int ownerWidth, int size, int shadowHeight)
{
    const int count = std::max(int(ownerRows.size()), shadowHeight) + 2;
    std::vector<Anchor> rows(size_t(count), Anchor{ownerWidth, 0});
    for (int r = 0; r < int(ownerRows.size()); ++r) {
        int row = r + 1 + size;
        bool insideEdges = size <= 0 || (row > size && row < shadowHeight + 1 - size);
        if (row > 0 && row < count - 1 && insideEdges)
            rows[size_t(row)] = Anchor{ownerRows[size_t(r)].start + size, ownerRows[size_t(r)].end + size};
    }
    return rows;
}

// Every pass narrows each row to the overlap of its neighbours' runs and one
// pixel more on each side, so a sharp shadow begins inside the owner's
// outline; the first and last rows stay empty.
void ErodeRows(std::vector<Anchor>& rows, int passes)
{
    for (int pass = 0; pass < passes; ++pass) {
        const std::vector<Anchor> previous = rows;
        for (size_t j = 1; j + 1 < rows.size(); ++j) {
            int start = std::max({previous[j - 1].start, previous[j].start, previous[j + 1].start});
            int end = std::min({previous[j - 1].end, previous[j].end, previous[j + 1].end});
            rows[j] = Anchor{start + 1, end - 1};
        }
    }
}

// Full darkness within the size beyond the sharpness, then fading linearly
// over sharpness + 1 pixels, transparent beyond the radius.
Falloff MakeFalloff(const ShadowLook& look)
{
    const int radius = std::max(look.size, look.sharpness);
    const int solid = look.size > look.sharpness ? look.size - look.sharpness : 0;
    Falloff falloff{radius, {}};
    falloff.pixels.assign(size_t(falloff.Side()) * size_t(falloff.Side()), 0);
    for (int ky = 0; ky < falloff.Side(); ++ky) {
        for (int kx = 0; kx < falloff.Side(); ++kx) {
            double t = std::sqrt(double((kx - radius) * (kx - radius) + (ky - radius) * (ky - radius)));
            int alpha = 0;
            if (t < solid)
                alpha = look.darkness;
            else if (t <= radius)
                alpha = int((1.0 - (t - solid) / (look.sharpness + 1)) * look.darkness);
            if (alpha > 0)
                falloff.pixels[size_t(ky * falloff.Side() + kx)] = ShadePixel(look.color, alpha);
        }
    }
    return falloff;
}

// Centres the falloff on a pixel; every pixel keeps the darker of the two.
void Stamp(const CShadowPixels& pixels, const Falloff& falloff, int column, int row)
{
    for (int ky = 0; ky < falloff.Side(); ++ky) {
        int y = row - falloff.radius + ky;
        if (y < 0 || y >= pixels.height)
            continue;
        uint32_t* line = pixels.Row(y);
        for (int kx = 0; kx < falloff.Side(); ++kx) {
            int x = column - falloff.radius + kx;
            if (x >= 0 && x < pixels.width)
                line[x] = std::max(line[x], falloff.At(kx, ky));
        }
    }
}

// Along the outline only: the left part of each run that sticks out beyond
// the rows above and below, then the right part likewise.
void StampSoftEdge(const CShadowPixels& pixels, const ShadowRows& rows, const Falloff& falloff)
{
    for (int i = falloff.radius; i <= pixels.height - falloff.radius - 1; ++i) {
        const Anchor row = rows[i], above = rows[i - 1], below = rows[i + 1];
        if (row.start >= row.end)
            continue;
        const int leftEnd = std::min(std::max(above.start, below.start) + 1, row.end);
        int column = row.start;
        for (; column < leftEnd; ++column)
            Stamp(pixels, falloff, column, i);
        for (column = std::max(column, std::min(above.end, below.end) - 1); column < row.end; ++column)
            Stamp(pixels, falloff, column, i);
    }
}

void FillColumns(const CShadowPixels& pixels, int row, int from, int to, uint32_t value)
{
    uint32_t* line = pixels.Row(row);
    for (int c = std::max(from, 0); c < std::min(to, pixels.width); ++c)
        line[c] = value;
}

// The inside of each run at full darkness, except where the owner lies:
// the shadow window is above its owner and must let it show through.
void FillInsideAroundOwner(const CShadowPixels& pixels, const ShadowRows& rows, const std::vector<Anchor>& ownerRows,
                           const ShadowLook& look)
{
    const int s = look.size, radius = std::max(s, look.sharpness), ownerHeight = int(ownerRows.size());
    const uint32_t inside = ShadePixel(look.color, look.darkness);
    const int first = std::max(std::min(radius, std::max(s - look.yOffset, 0)), 0);
    const int last = std::min(std::max(pixels.height - radius, std::min(ownerHeight + s - look.yOffset, ownerHeight + 2 * s)),
                              pixels.height);
    for (int i = first; i < last; ++i) {
        const Anchor row = rows[i];
        const int r = i - s + look.yOffset;
        if (r < 0 || r >= ownerHeight) {
            FillColumns(pixels, i, row.start, row.end, inside);
            continue;
        }
        const int ownerStart = ownerRows[size_t(r)].start + s - look.xOffset;
        const int ownerEnd = ownerRows[size_t(r)].end + s - look.xOffset;
        FillColumns(pixels, i, row.start, std::min(ownerStart, row.end), inside);
        FillColumns(pixels, i, std::max(ownerStart, 0), std::min(ownerEnd, pixels.width), 0);
        FillColumns(pixels, i, std::max(ownerEnd, row.start), row.end, inside);
    }
}

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

// The steps follow the order in which the shadow is built: the owner's
// shape, its rows moved into the shadow image, eroded to the sharpness, the
// soft edge stamped along the outline, then the dark inside with the owner
// cut out.
void CWndShadow::RenderShadow(const CShadowPixels& pixels, HWND owner, const RECT& ownerRect) const
{
    const ShadowLook look{m_size, m_sharpness, m_darkness, m_xOffset, m_yOffset, m_color};
    const SIZE ownerSize{ownerRect.right - ownerRect.left, ownerRect.bottom - ownerRect.top};
    if (ownerSize.cx <= 0 || ownerSize.cy <= 0 || pixels.width <= 0 || pixels.height <= 0)
        return;
    const std::vector<Anchor> ownerRows = ReadOwnerRows(owner, ownerSize);
    std::vector<Anchor> rows = PlaceOwnerRows(ownerRows, ownerSize.cx, look.size, pixels.height);
    ErodeRows(rows, look.sharpness - look.size);
    const ShadowRows shadowRows{std::move(rows), look.size < 0 ? 1 - look.size : 1, ownerSize.cx};
    StampSoftEdge(pixels, shadowRows, MakeFalloff(look));
    FillInsideAroundOwner(pixels, shadowRows, ownerRows, look);
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
