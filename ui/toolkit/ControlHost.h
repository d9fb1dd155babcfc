#pragma once

#include "UIDefs.h"
#include "ZipArchive.h"

#include "util/GdiObject.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Gdiplus {
class Bitmap;
}

namespace uitk {

class CControlUI;
class COptionUI;

// Everything a window's control tree shares: the native window, painting,
// mouse routing, fonts, images, control timers, notification receivers and
// pre-translation filters. Process-wide: the module instance and where skin
// files come from (an in-memory zip archive, else a folder).
class CControlHost {
public:
    // Posted by an edit box's native window when it loses the focus.
    static const UINT kEndEditMessage = WM_APP + 0x3A0;

    CControlHost();
    ~CControlHost();
    CControlHost(const CControlHost&) = delete;
    CControlHost& operator=(const CControlHost&) = delete;

    static HINSTANCE GetInstance();
    static void SetInstance(HINSTANCE instance);
    static std::wstring GetInstancePath(); // the executable's folder, ending in "\"
    static const std::wstring& GetResourcePath();
    static void SetResourcePath(const std::wstring& path);
    // Skin files are read from this archive from now on; the bytes must live
    // as long as the process uses the skin.
    static bool SetResourceZip(const void* data, size_t size);
    // The same with the archive held in a resource of the module; its bytes
    // are copied into a buffer that lives until the process ends.
    static bool SetResourceZipFromResource(UINT id, const wchar_t* type);
    static bool HasResourceZip();
    static bool ReadSkinFile(const std::wstring& name, std::string& bytes);
    // Offers a message to the filters of the window it is for (or of that
    // window's parent); true when a filter consumed it.
    static bool TranslateMessage(const MSG* msg);
    // The message loop of a program made of these windows.
    static int MessageLoop();

    void Init(HWND window);
    HWND GetPaintWindow() const { return m_window; }
    // Takes the root of a built layout, applies the window size and lays it out.
    bool AttachDialog(CControlUI* root);
    CControlUI* GetRoot() const { return m_root; }
    // Deletes the control tree.
    void ReleaseControls();
    CControlUI* FindControl(const std::wstring& name) const;
    CControlUI* FindControl(POINT pt) const;
    void ForEachOptionInGroup(const std::wstring& group, const std::function<void(COptionUI&)>& action) const;

    // Window attributes of the layout.
    SIZE GetInitSize() const { return m_initSize; }
    void SetInitSize(int cx, int cy);
    void SetMinInfo(int cx, int cy) { m_minInfo = SIZE{cx, cy}; }
    void SetMaxInfo(int cx, int cy) { m_maxInfo = SIZE{cx, cy}; }
    const RECT& GetCaptionRect() const { return m_caption; }
    void SetCaptionRect(const RECT& rc) { m_caption = rc; }
    // Whether a point of the client area drags the window.
    bool IsCaptionPoint(POINT pt);

    void AddFont(int id, const std::wstring& face, int size, bool bold, bool italic);
    HFONT GetFont(int id) const; // the default GUI font for an unknown id
    Gdiplus::Bitmap* GetImage(const std::wstring& name);

    bool AddNotifier(INotificationSink* notifier);
    bool RemoveNotifier(INotificationSink* notifier);
    bool AddPreMessageFilter(IMessageFilter* filter);
    bool RemovePreMessageFilter(IMessageFilter* filter);
    void SendNotify(CControlUI* control, const std::wstring& type, WPARAM wParam = 0, LPARAM lParam = 0);

    bool SetTimer(CControlUI* control, UINT id, UINT elapse);
    bool KillTimer(CControlUI* control, UINT id);
    // Forgets a control that goes away: hover, capture and timers.
    void ReapControl(CControlUI* control);
    // A hidden control keeps its timers but loses hover and capture.
    void ForgetInput(CControlUI* control);

    void Invalidate(const RECT& rc);
    void NeedUpdate();
    // Lays the tree out at the client size now (or the layout size without a window).
    void UpdateLayout();
    // Lays out now if a change is waiting for the next paint.
    void EnsureLayout();
    // Paints the whole tree onto a device context at the client origin.
    void PaintTo(HDC dc);
    void PaintTo(HDC dc, const RECT& area);

    // The window's messages; true when handled, with the result in `result`.
    bool MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    struct Timer {
        CControlUI* control;
        UINT id;
        UINT_PTR nativeId;
    };

    bool PreMessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void OnPaint();
    void OnMouseMove(POINT pt);
    void OnButtonDown(POINT pt);
    void OnButtonUp(POINT pt);
    void OnTimer(UINT_PTR nativeId);
    void SetHot(CControlUI* control, POINT pt);
    void SendEvent(CControlUI* control, EventType type, POINT pt, WPARAM wParam = 0);
    RECT ClientRect() const;

    HWND m_window = nullptr;
    CControlUI* m_root = nullptr;
    CControlUI* m_hot = nullptr;
    CControlUI* m_captured = nullptr;
    bool m_tracking = false;
    bool m_needUpdate = false;
    SIZE m_initSize{};
    SIZE m_minInfo{};
    SIZE m_maxInfo{};
    RECT m_caption{};
    std::map<int, CGdiObject<HFONT>> m_fonts;
    std::map<std::wstring, std::unique_ptr<Gdiplus::Bitmap>> m_images;
    std::vector<INotificationSink*> m_notifiers;
    std::vector<IMessageFilter*> m_preFilters;
    std::vector<Timer> m_timers;
    UINT_PTR m_nextTimerId = 0x4B00;
};

} // namespace uitk
