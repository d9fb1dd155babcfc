#pragma once

#include "ControlTimers.h"
#include "ControlTree.h"
#include "UIDefs.h"

#include <functional>
#include <string>
#include <vector>

namespace uitk {

class CControlUI;
class COptionUI;

// One skinned window's part of the toolkit, as its controls see it: the
// control tree and the timers of the window, and the routing of its
// messages to them. What all windows share is in CSkinResources.
class CControlHost {
public:
    static const UINT kEndEditMessage = CControlTree::kEndEditMessage;

    CControlHost();
    ~CControlHost();
    CControlHost(const CControlHost&) = delete;
    CControlHost& operator=(const CControlHost&) = delete;

    // Offers a message to the filters of the window it is for (or of that
    // window's parent); true when a filter consumed it.
    static bool TranslateMessage(const MSG* msg);
    // The message loop of a program made of these windows.
    static int MessageLoop();

    void Init(HWND window);
    HWND GetPaintWindow() const { return m_tree.GetWindow(); }
    // Takes the root of a built layout, applies the window size and lays it out.
    bool AttachDialog(CControlUI* root);
    // Deletes the control tree.
    void ReleaseControls();
    // Forgets a control that goes away: hover, capture and timers.
    void ReapControl(CControlUI* control);
    // The window's messages; true when handled, with the result in `result`.
    bool MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

    bool AddPreMessageFilter(IMessageFilter* filter);
    bool RemovePreMessageFilter(IMessageFilter* filter);

    bool SetTimer(CControlUI* control, UINT id, UINT elapse) { return m_timers.Set(control, id, elapse); }
    bool KillTimer(CControlUI* control, UINT id) { return m_timers.Kill(control, id); }

    // The control tree's face to its controls and the window.
    CControlUI* FindControl(const std::wstring& name) const { return m_tree.FindControl(name); }
    void ForEachOptionInGroup(const std::wstring& group, const std::function<void(COptionUI&)>& action) const
    {
        m_tree.ForEachOptionInGroup(group, action);
    }
    SIZE GetInitSize() const { return m_tree.GetInitSize(); }
    void SetInitSize(int cx, int cy) { m_tree.SetInitSize(cx, cy); }
    void SetMinInfo(int cx, int cy) { m_tree.SetMinInfo(cx, cy); }
    void SetMaxInfo(int cx, int cy) { m_tree.SetMaxInfo(cx, cy); }
    const RECT& GetCaptionRect() const { return m_tree.GetCaptionRect(); }
    void SetCaptionRect(const RECT& rc) { m_tree.SetCaptionRect(rc); }
    void AddFont(int id, const std::wstring& face, int size, bool bold, bool italic)
    {
        m_tree.AddFont(id, face, size, bold, italic);
    }
    HFONT GetFont(int id) const { return m_tree.GetFont(id); }
    bool AddNotifier(INotificationSink* notifier) { return m_tree.AddNotifier(notifier); }
    bool RemoveNotifier(INotificationSink* notifier) { return m_tree.RemoveNotifier(notifier); }
    void SendNotify(CControlUI* control, const std::wstring& type, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        m_tree.SendNotify(control, type, wParam, lParam);
    }
    // A hidden control keeps its timers but loses hover and capture.
    void ForgetInput(CControlUI* control) { m_tree.ForgetInput(control); }
    void Invalidate(const RECT& rc) { m_tree.Invalidate(rc); }
    void NeedUpdate() { m_tree.NeedUpdate(); }
    void UpdateLayout() { m_tree.UpdateLayout(); }
    void EnsureLayout() { m_tree.EnsureLayout(); }

private:
    bool PreMessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // The timers outlive the tree: deleting a control stops its timers.
    CControlTimers m_timers;
    CControlTree m_tree;
    std::vector<IMessageFilter*> m_preFilters;
};

} // namespace uitk
