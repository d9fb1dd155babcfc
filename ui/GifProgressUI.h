#pragma once

#include "toolkit/ProgressUI.h"

#include <memory>
#include <vector>

#include <objidl.h>
#include <wrl/client.h>

namespace Gdiplus {
class Image;
}

namespace uitk {

// A progress bar whose filled part is cut from a GIF image that can play
// frame by frame.
class CGifProgressUI : public CProgressUI {
public:
    static const UINT kFrameTimer = 100;

    CGifProgressUI();
    ~CGifProgressUI() override;

    std::wstring GetClass() const override { return L"GifProgress"; }
    CControlUI* GetInterface(const std::wstring& name) override;
    void SetVisible(bool visible = true) override;
    void DoInit() override;
    void DoEvent(SControlEvent& event) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;

    // The filled part for the current value: width and height in pixels.
    SIZE FilledSize();
    int GetFrameCount() const { return m_frameCount; }
    int GetCurrentFrame() const { return m_currentFrame; }
    bool IsPlaying() const { return m_playing; }
    // The period the frame timer was last started with, in milliseconds.
    UINT GetTimerPeriod() const { return m_timerPeriod; }

protected:
    void PaintStatusImage(HDC dc) override;

private:
    void LoadGif();
    void FreeGif();
    void StartFrameTimer();
    void StopPlaying();
    UINT FrameDelayMs(int frame) const;

    std::unique_ptr<Gdiplus::Image> m_image;
    Microsoft::WRL::ComPtr<IStream> m_stream; // GDI+ reads the frames from it
    int m_frameCount = 0;
    int m_currentFrame = 0;
    std::vector<UINT> m_delays; // hundredths of a second, one per frame
    bool m_autoPlay = true;
    bool m_autoSize = false;
    bool m_playing = false;
    UINT m_timerPeriod = 0;
};

// Lets the layout builder make GifProgress controls.
void RegisterGifProgress();

} // namespace uitk
