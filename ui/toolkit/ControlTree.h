#pragma once

#include "UIDefs.h"

#include "util/GdiObject.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace uitk {

class CControlUI;
class COptionUI;

// One window's controls: the tree of its layout with the window attributes
// and fonts the layout defines, how it is laid out and painted, and where
// the mouse goes (hover, capture, clicks). Notifications of its controls go
// to the receivers registered here.
class CControlTree {
public:
    // Posted by an edit box's native window when it loses the focus.
    static const UINT kEndEditMessage = WM_APP + 0x3A0;

    CControlTree() = default;
    ~CControlTree() { Release(); }
    CControlTree(const CControlTree&) = delete;
    CControlTree& operator=(const CControlTree&) = delete;

    void SetWindow(HWND window) { m_window = window; }
    HWND GetWindow() const { return m_window; }
    // The tree is visible to its controls while they join their window.
    void SetRoot(CControlUI* root) { m_root = root; }
    CControlUI* GetRoot() const { return m_root; }
    // Gives the window the layout's size and lays the tree out.
    void FitWindowToLayout();
    // Deletes the tree.
    void Release();
    CControlUI* FindControl(const std::wstring& name) const;
    CControlUI* FindControl(POINT pt) const;
    void ForEachOptionInGroup(const std::wstring& group, const std::function<void(COptionUI&)>& action) const;

    // Window attributes of the layout.
    SIZE GetInitSize() const { return m_initSize; }
    void SetInitSize(int cx, int cy) { m_initSize = SIZE{cx, cy}; }
    void SetMinInfo(int cx, int cy) { m_minInfo = SIZE{cx, cy}; }
    void SetMaxInfo(int cx, int cy) { m_maxInfo = SIZE{cx, cy}; }
    const RECT& GetCaptionRect() const { return m_caption; }
    void SetCaptionRect(const RECT& rc) { m_caption = rc; }
    // Whether a point of the client area drags the window.
    bool IsCaptionPoint(POINT pt);

    // Font ids belong to the layout that defines them, and an edit box keeps
    // the handle of its font, so the fonts live as long as the window's tree.
    void AddFont(int id, const std::wstring& face, int size, bool bold, bool italic);
    HFONT GetFont(int id) const; // the default GUI font for an unknown id

    bool AddNotifier(INotificationSink* notifier);
    bool RemoveNotifier(INotificationSink* notifier);
    void SendNotify(CControlUI* control, const std::wstring& type, WPARAM wParam = 0, LPARAM lParam = 0);

    // A hidden or departing control loses hover and capture.
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

    // The window's painting and input messages; true when handled, with the
    // result in `result`.
    bool MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    void OnPaint();
    void OnMouseMove(POINT pt);
    void OnButtonDown(POINT pt);
    void OnButtonUp(POINT pt);
    bool OnEditMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void SetHot(CControlUI* control, POINT pt);
    void SendEvent(CControlUI* control, EventType type, POINT pt);
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
    std::vector<INotificationSink*> m_notifiers;
};

} // namespace uitk
