#pragma once

#include "WndShadow.h"
#include "toolkit/WindowImplBase.h"

#include <deque>

// The common base of the program's skinned windows: the skin comes from the
// zip archive in the executable's resources, every window gets a drop
// shadow, the close button and Escape close it, and the object deletes
// itself once its window is gone.
class CDUIDialogBase : public uitk::WindowImplBase {
public:
    static const UINT kSkinResourceId = 130;

    CDUIDialogBase();
    ~CDUIDialogBase() override;

    // Open dialogs, newest first.
    static std::deque<CDUIDialogBase*>& OpenDialogs();

    void Notify(uitk::SNotification& msg) override;
    LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;

protected:
    std::wstring GetWindowClassName() const override { return ClassName(); }
    virtual std::wstring ClassName() const { return L"#Omber_DownloaderDlg"; }
    UINT GetClassStyle() const override { return CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS; }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hwnd) override;

    std::wstring GetSkinFolder() const override { return {}; }
    std::wstring SkinFile() const override { return {}; }
    uitk::UILIB_RESOURCETYPE GetResourceType() const override { return uitk::UILIB_RESOURCETYPE::ZipResource; }
    std::wstring GetZIPFileName() const override { return {}; }
    UINT GetResourceID() const override { return kSkinResourceId; }
    LRESULT HandleClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT HandleCreate(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    virtual void OnDialogTimer(UINT_PTR id) { (void)id; }

    CWndShadow m_shadow;
    bool m_deleteOnFinal = true;
};
