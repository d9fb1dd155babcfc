#pragma once

#include "DUIDialogBase.h"

#include <functional>
#include <string>

class CAppSetting;

namespace DuiLib {
class CEditUI;
class COptionUI;
} // namespace DuiLib

// The settings dialog: the download rate limit, stored when the dialog
// closes, and whether the program starts at logon, switched at once.
class CDlgSetting : public CDUIDialogBase {
public:
    using UrlOpener = std::function<void(const std::wstring& url)>;

    // Opens the dialog over `owner` and runs it modally. The result is the
    // close code (2 for the close button, 1 for Escape), 0 when the window
    // could not be made. The limits are in `settings` afterwards, and it is
    // the caller's part to hand them to a started kernel.
    static UINT RunModal(HWND owner, CAppSetting& settings, UrlOpener openUrl);

    CDlgSetting(CAppSetting& settings, UrlOpener openUrl);

    void Notify(DuiLib::TNotifyUI& msg) override;

protected:
    std::wstring ClassName() const override { return L"#Downloader_Setting"; }
    std::wstring SkinFile() const override { return L"DlgSetting.xml"; }
    void Init() override;
    void HandleClick(DuiLib::TNotifyUI& msg) override;
    LRESULT HandleClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void FindControls();
    void ShowSettings();
    void StoreLimits();

    CAppSetting& m_settings;
    UrlOpener m_openUrl;
    DuiLib::COptionUI* m_optAutoStart = nullptr;
    DuiLib::COptionUI* m_optNoAutoStart = nullptr;
    DuiLib::CEditUI* m_editDownSpeed = nullptr;
    DuiLib::CEditUI* m_editUpSpeed = nullptr;
    bool m_initialised = false;
};
