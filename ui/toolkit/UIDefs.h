#pragma once

#include <windows.h>

#include <string>

namespace DuiLib {

class CControlUI;

// A notification from a control to the window that owns it.
struct TNotifyUI {
    std::wstring sType;       // "click", "selectchanged", ...
    std::wstring sVirtualWnd; // empty: the window's own message map
    CControlUI* pSender = nullptr;
    DWORD dwTimestamp = 0;
    POINT ptMouse{};
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// What reaches a control from its paint manager.
enum class EventType { MouseEnter, MouseLeave, ButtonDown, ButtonUp, MouseMove, Timer, SetFocus, KillFocus };

struct TEventUI {
    EventType Type = EventType::MouseMove;
    CControlUI* pSender = nullptr;
    POINT ptMouse{};
    WPARAM wParam = 0; // the timer id for timer events
    LPARAM lParam = 0;
};

class INotifyUI {
public:
    virtual void Notify(TNotifyUI& msg) = 0;

protected:
    ~INotifyUI() = default;
};

// A window's chance to consume a message before it is translated.
class IMessageFilterUI {
public:
    virtual LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) = 0;

protected:
    ~IMessageFilterUI() = default;
};

// Makes the controls of element names the builder does not know itself.
class IDialogBuilderCallback {
public:
    virtual CControlUI* CreateControl(const std::wstring& className) = 0;

protected:
    ~IDialogBuilderCallback() = default;
};

// Alignment of a text line inside its box.
enum class TextAlign { Left, Center, Right };

} // namespace DuiLib
