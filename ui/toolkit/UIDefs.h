#pragma once

#include <windows.h>

#include <string>

namespace uitk {

class CControlUI;

// A notification from a control to the window that owns it.
struct SNotification {
    std::wstring type;       // "click", "selectchanged", ...
    std::wstring virtualWindow; // empty: the window's own message map
    CControlUI* sender = nullptr;
    DWORD timestamp = 0;
    POINT mouse{};
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// What reaches a control from its control host.
enum class EventType { MouseEnter, MouseLeave, ButtonDown, ButtonUp, MouseMove, Timer, SetFocus, KillFocus };

struct SControlEvent {
    EventType kind = EventType::MouseMove;
    CControlUI* sender = nullptr;
    POINT mouse{};
    WPARAM wParam = 0; // the timer id for timer events
    LPARAM lParam = 0;
};

class INotificationSink {
public:
    virtual void Notify(SNotification& msg) = 0;

protected:
    ~INotificationSink() = default;
};

// A window's chance to consume a message before it is translated.
class IMessageFilter {
public:
    virtual LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) = 0;

protected:
    ~IMessageFilter() = default;
};

// Makes the controls of element names the builder does not know itself.
class ILayoutBuilderCallback {
public:
    virtual CControlUI* CreateControl(const std::wstring& className) = 0;

protected:
    ~ILayoutBuilderCallback() = default;
};

// Alignment of a text line inside its box.
enum class TextAlign { Left, Center, Right };

} // namespace uitk
