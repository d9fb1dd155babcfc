#include "GifProgressUI.h"

#include "toolkit/AttributeParse.h"
#include "toolkit/LayoutBuilder.h"
#include "toolkit/ControlHost.h"
#include "toolkit/SkinRenderer.h"
#include "toolkit/SkinResources.h"

#include <gdiplus.h>

#include <algorithm>
#include <cstring>

namespace uitk {
namespace {

const PROPID kFrameDelayTag = 0x5100;
const UINT kDefaultDelayMs = 100;

// A movable global block holding the bytes, and a stream that frees it.
Microsoft::WRL::ComPtr<IStream> StreamOver(const std::string& bytes)
{
    Microsoft::WRL::ComPtr<IStream> stream;
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block)
        return stream;
    if (void* target = ::GlobalLock(block)) {
        std::memcpy(target, bytes.data(), bytes.size());
        ::GlobalUnlock(block);
        if (SUCCEEDED(::CreateStreamOnHGlobal(block, TRUE, stream.GetAddressOf())))
            return stream;
    }
    ::GlobalFree(block);
    return stream;
}

} // namespace

void RegisterGifProgress()
{
    CLayoutBuilder::RegisterControl(L"GifProgress", [] { return new CGifProgressUI; });
}

CGifProgressUI::CGifProgressUI() = default;

CGifProgressUI::~CGifProgressUI()
{
    if (m_playing && m_manager)
        m_manager->KillTimer(this, kFrameTimer);
    FreeGif();
}

CControlUI* CGifProgressUI::GetInterface(const std::wstring& name)
{
    if (name == L"GifProgress" || name == L"Control")
        return this;
    return nullptr;
}

void CGifProgressUI::SetVisible(bool visible)
{
    CProgressUI::SetVisible(visible);
    if (visible) {
        if (!m_playing && m_image)
            StartFrameTimer();
    } else if (m_playing) {
        StopPlaying();
    }
}

void CGifProgressUI::DoInit()
{
    LoadGif();
}

void CGifProgressUI::DoEvent(SControlEvent& event)
{
    if (event.kind != EventType::Timer || event.wParam != kFrameTimer || !m_manager)
        return;
    m_manager->KillTimer(this, kFrameTimer);
    Invalidate();
    if (m_frameCount > 0)
        m_currentFrame = (m_currentFrame + 1) % m_frameCount;
    m_timerPeriod = FrameDelayMs(m_currentFrame);
    m_manager->SetTimer(this, kFrameTimer, m_timerPeriod);
}

void CGifProgressUI::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"foreimage") {
        if (value == GetForeImage())
            return;
        if (m_playing)
            StopPlaying();
        FreeGif();
        Invalidate();
        SetForeImage(value);
    } else if (name == L"autoplay") {
        m_autoPlay = ParseBool(value);
    } else if (name == L"autosize") {
        m_autoSize = ParseBool(value);
    } else {
        CProgressUI::SetAttribute(name, value);
    }
}

void CGifProgressUI::LoadGif()
{
    if (m_image || GetForeImage().empty() || !CSkinRenderer::StartGdiplus())
        return;
    std::string bytes;
    if (!CSkinResources::ReadSkinFile(CSkinRenderer::ParseImageString(GetForeImage()).file, bytes) || bytes.empty())
        return;
    Microsoft::WRL::ComPtr<IStream> stream = StreamOver(bytes);
    if (!stream)
        return;
    std::unique_ptr<Gdiplus::Image> image(Gdiplus::Image::FromStream(stream.Get()));
    if (!image || image->GetLastStatus() != Gdiplus::Ok)
        return;
    m_image = std::move(image);
    m_stream = stream;

    UINT dimensions = m_image->GetFrameDimensionsCount();
    std::vector<GUID> ids(dimensions);
    if (dimensions > 0 && m_image->GetFrameDimensionsList(ids.data(), dimensions) == Gdiplus::Ok)
        m_frameCount = int(m_image->GetFrameCount(&ids[0]));
    UINT size = m_image->GetPropertyItemSize(kFrameDelayTag);
    if (size >= sizeof(Gdiplus::PropertyItem)) {
        std::vector<char> buffer(size);
        auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.data());
        if (m_image->GetPropertyItem(kFrameDelayTag, size, item) == Gdiplus::Ok) {
            const auto* values = static_cast<const UINT*>(item->value);
            m_delays.assign(values, values + item->length / sizeof(UINT));
        }
    }

    if (m_autoSize) {
        SetFixedWidth(int(m_image->GetWidth()));
        SetFixedHeight(int(m_image->GetHeight()));
    }
    if (m_autoPlay && m_frameCount > 0 && !m_playing)
        StartFrameTimer();
}

void CGifProgressUI::FreeGif()
{
    m_image.reset();
    m_stream.Reset();
    m_delays.clear();
    m_frameCount = 0;
    m_currentFrame = 0;
}

UINT CGifProgressUI::FrameDelayMs(int frame) const
{
    UINT delay = frame >= 0 && size_t(frame) < m_delays.size() ? m_delays[size_t(frame)] * 10 : 0;
    return delay ? delay : kDefaultDelayMs;
}

// A picture of one frame never changes: no timer, and no repaint ten times a
// second in a window that otherwise sits still.
void CGifProgressUI::StartFrameTimer()
{
    if (!m_manager || m_frameCount < 2)
        return;
    m_timerPeriod = FrameDelayMs(m_currentFrame);
    m_manager->SetTimer(this, kFrameTimer, m_timerPeriod);
    m_playing = true;
}

void CGifProgressUI::StopPlaying()
{
    if (m_manager)
        m_manager->KillTimer(this, kFrameTimer);
    m_currentFrame = 0;
    Invalidate();
    m_playing = false;
}

SIZE CGifProgressUI::FilledSize()
{
    if (m_min >= m_max)
        m_max = m_min + 1;
    m_value = std::max(m_min, std::min(m_value, m_max));
    int width = m_rcItem.right - m_rcItem.left, height = m_rcItem.bottom - m_rcItem.top;
    if (m_horizontal)
        return SIZE{(m_value - m_min) * width / (m_max - m_min), height};
    return SIZE{width, height - (m_max - m_value) * height / (m_max - m_min)};
}

void CGifProgressUI::PaintStatusImage(HDC dc)
{
    SIZE filled = FilledSize();
    LoadGif();
    if (!m_image || !dc)
        return;
    Gdiplus::Graphics graphics(dc);
    Gdiplus::SolidBrush white(Gdiplus::Color(0xFFFFFFFF));
    graphics.FillRectangle(&white, int(m_rcItem.left), int(m_rcItem.top), int(filled.cx), int(filled.cy));
    graphics.DrawImage(m_image.get(), int(m_rcItem.left), int(m_rcItem.top), 0, 0, int(filled.cx), int(filled.cy),
                       Gdiplus::UnitPixel);
    GUID time = Gdiplus::FrameDimensionTime;
    m_image->SelectActiveFrame(&time, UINT(m_currentFrame));
}

} // namespace uitk
