#pragma once

#include "ui/DUIDialogBase.h"
#include "ui/toolkit/ControlUI.h"

#include <memory>
#include <string>
#include <vector>

// What a test dialog saw; shared, because the dialog deletes itself
// whenever its window goes, also after the test body has ended.
struct DialogRecord {
    std::vector<std::wstring> clicks;
    std::vector<std::wstring> selectChanges;
    std::vector<UINT_PTR> timers;
    bool initialised = false;
    bool deleted = false;
};

// A skinned dialog on the program's base that only records what reaches it.
class TestDialog : public CDUIDialogBase {
public:
    TestDialog(std::wstring skin, std::shared_ptr<DialogRecord> record)
        : m_skin(std::move(skin)), m_record(std::move(record)) {}
    ~TestDialog() override { m_record->deleted = true; }

    // Creates the native window as the program creates its dialogs.
    HWND Open(HWND owner = nullptr)
    {
        return Create(owner, L"test", WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU, 0, 0, 0, 0, 0);
    }
    uitk::CControlUI* Find(const wchar_t* name) { return FindControl(name); }
    HWND ShadowWindow() const { return m_shadow.GetShadowWindow(); }

    void Notify(uitk::SNotification& msg) override
    {
        if (msg.type == L"selectchanged" && msg.sender)
            m_record->selectChanges.push_back(msg.sender->GetName());
        CDUIDialogBase::Notify(msg);
    }

protected:
    std::wstring ClassName() const override { return L"#Korvane_TestDialog"; }
    std::wstring SkinFile() const override { return m_skin; }
    void Init() override { m_record->initialised = true; }
    void HandleClick(uitk::SNotification& msg) override { m_record->clicks.push_back(msg.sender->GetName()); }
    void OnDialogTimer(UINT_PTR id) override { m_record->timers.push_back(id); }

private:
    std::wstring m_skin;
    std::shared_ptr<DialogRecord> m_record;
};

// Hands every waiting message through the filters and on to its window.
inline void PumpMessages()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(int(msg.wParam));
            return;
        }
        if (uitk::CControlHost::TranslateMessage(&msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

inline POINT CentreOf(const RECT& rc)
{
    return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

// A left click as the mouse makes it, at a point of the client area.
inline void ClickAt(HWND window, POINT pt)
{
    LPARAM at = MAKELPARAM(pt.x, pt.y);
    ::SendMessageW(window, WM_MOUSEMOVE, 0, at);
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(window, WM_LBUTTONUP, 0, at);
}
