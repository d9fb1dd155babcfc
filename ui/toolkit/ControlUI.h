#pragma once

#include "UIDefs.h"

#include <string>

namespace uitk {

class CControlHost;
class CContainerUI;

// The base of every control: a box with a name, a position, a background
// and a text, that can be shown, hidden, enabled and hit by the mouse.
class CControlUI {
public:
    CControlUI() = default;
    virtual ~CControlUI();
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;

    virtual std::wstring GetClass() const { return L"Control"; }
    // The control when it is of the named kind (or derives from it), else null.
    virtual CControlUI* GetInterface(const std::wstring& name);

    const std::wstring& GetName() const { return m_name; }
    void SetName(const std::wstring& name) { m_name = name; }
    virtual std::wstring GetText() const { return m_text; }
    virtual void SetText(const std::wstring& text);

    CControlHost* GetManager() const { return m_manager; }
    CContainerUI* GetParent() const { return m_parent; }
    // Joins the control (and its children) to a window.
    virtual void SetManager(CControlHost* manager, CContainerUI* parent, bool init = true);
    // Runs once the control belongs to a window.
    virtual void DoInit() {}

    const RECT& GetPos() const { return m_rcItem; }
    virtual void SetPos(const RECT& rc);
    int GetFixedWidth() const { return m_cxyFixed.cx; }
    int GetFixedHeight() const { return m_cxyFixed.cy; }
    void SetFixedWidth(int cx);
    void SetFixedHeight(int cy);
    int GetMaxWidth() const { return m_cxyMax.cx; }
    int GetMaxHeight() const { return m_cxyMax.cy; }
    const RECT& GetPadding() const { return m_rcPadding; }
    bool IsFloat() const { return m_float; }
    const RECT& GetFloatPos() const { return m_rcFloat; }

    virtual bool IsVisible() const { return m_visible; }
    virtual void SetVisible(bool visible = true);
    virtual bool IsEnabled() const { return m_enabled; }
    virtual void SetEnabled(bool enabled = true);
    bool IsMouseEnabled() const { return m_mouseEnabled; }
    void SetMouseEnabled(bool enabled = true) { m_mouseEnabled = enabled; }
    bool IsKeyboardEnabled() const { return m_keyboardEnabled; }
    void SetKeyboardEnabled(bool enabled = true) { m_keyboardEnabled = enabled; }

    const std::wstring& GetBkImage() const { return m_bkImage; }
    void SetBkImage(const std::wstring& image);
    DWORD GetBkColor() const { return m_bkColor; }
    void SetBkColor(DWORD color);

    // Attributes of the layout markup, applied in document order.
    virtual void SetAttribute(const std::wstring& name, const std::wstring& value);

    // The control under a point of the window (itself, a child, or null).
    virtual CControlUI* FindControlAt(POINT pt);
    virtual CControlUI* FindControlByName(const std::wstring& name);

    virtual void DoPaint(HDC dc, const RECT& rcPaint);
    virtual void DoEvent(SControlEvent& event);
    // Activation by a finished click; false when the control cannot be used.
    virtual bool Activate();

    void Invalidate();
    // A change that moves other controls: the window lays out again.
    void NeedParentUpdate();

protected:
    virtual void PaintBkColor(HDC dc);
    virtual void PaintBkImage(HDC dc);
    virtual void PaintStatusImage(HDC dc) { (void)dc; }
    virtual void PaintText(HDC dc) { (void)dc; }
    // Draws an image string over the control; false when the image is missing.
    bool DrawImage(HDC dc, const std::wstring& image);

    // Hover and press state, kept by the base from the events it receives.
    bool IsHot() const { return m_hot; }
    bool IsPushed() const { return m_pushed; }

    CControlHost* m_manager = nullptr;
    CContainerUI* m_parent = nullptr;
    RECT m_rcItem{};

private:
    std::wstring m_name;
    std::wstring m_text;
    SIZE m_cxyFixed{};
    SIZE m_cxyMax{};
    RECT m_rcPadding{};
    bool m_float = false;
    RECT m_rcFloat{};
    bool m_visible = true;
    bool m_enabled = true;
    bool m_mouseEnabled = true;
    bool m_keyboardEnabled = true;
    bool m_hot = false;
    bool m_pushed = false;
    DWORD m_bkColor = 0;
    std::wstring m_bkImage;
};

} // namespace uitk
