#pragma once

#include "LabelUI.h"

#include "util/GdiObject.h"

namespace uitk {

// A one-line edit box. It paints like a label; while it has the focus a
// native edit window lies over it and takes the typing.
class CEditUI : public CLabelUI {
public:
    CEditUI();
    ~CEditUI() override;

    std::wstring GetClass() const override { return L"Edit"; }
    CControlUI* GetInterface(const std::wstring& name) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    std::wstring GetText() const override;
    void SetText(const std::wstring& text) override;
    void SetVisible(bool visible = true) override;
    void SetEnabled(bool enabled = true) override;
    void DoEvent(SControlEvent& event) override;

    bool IsNumberOnly() const { return m_numberOnly; }
    int GetMaxChar() const { return m_maxChar; }
    HWND GetNativeWindow() const { return m_native; }
    // The brush and colours for the native window's WM_CTLCOLOREDIT.
    HBRUSH NativeBackground(HDC dc);
    // Opens the native edit window over the control and gives it the focus.
    void BeginEditing();
    // Takes the typed text back and closes the native window.
    void EndEditing();

protected:
    void PaintText(HDC dc) override;

private:
    static LRESULT CALLBACK NativeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    bool m_numberOnly = false;
    int m_maxChar = 255;
    DWORD m_nativeBkColor = 0xFFFFFFFF;
    DWORD m_nativeTextColor = 0xFF000000;
    HWND m_native = nullptr;
    WNDPROC m_nativeDefault = nullptr;
    CGdiObject<HBRUSH> m_nativeBrush;
};

} // namespace uitk
