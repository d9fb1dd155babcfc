#include "DlgSetting.h"

#include "settings/AppSetting.h"
#include "shell/AutoStart.h"
#include "toolkit/EditUI.h"
#include "toolkit/OptionUI.h"

#include <cstdlib>
#include <stdexcept>

namespace {

const wchar_t kTitle[] = L"配置设置";
const DWORD kStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU;

template <typename T>
T* FindAs(DuiLib::WindowImplBase& window, const wchar_t* name)
{
    auto* control = dynamic_cast<T*>(window.FindControl(name));
    if (!control)
        throw std::runtime_error("missing control");
    return control;
}

// Read as the C library's _wtol reads: blanks, a sign, digits; no digits is 0.
long LimitOfText(const std::wstring& text)
{
    return std::wcstol(text.c_str(), nullptr, 10);
}

} // namespace

UINT CDlgSetting::RunModal(HWND owner, CAppSetting& settings, UrlOpener openUrl)
{
    auto* dialog = new CDlgSetting(settings, std::move(openUrl));
    HWND window = dialog->Create(owner, kTitle, kStyle, 0);
    if (!window)
        return 0;
    dialog->CenterWindow();
    RECT client{};
    ::GetClientRect(window, &client);
    ::SendMessageW(window, WM_SIZE, 0, MAKELPARAM(client.right - client.left, client.bottom - client.top));
    return dialog->ShowModal(); // the dialog is gone by now
}

CDlgSetting::CDlgSetting(CAppSetting& settings, UrlOpener openUrl)
    : m_settings(settings), m_openUrl(std::move(openUrl))
{
}

void CDlgSetting::Init()
{
    try {
        FindControls();
        ShowSettings();
    } catch (...) {
        throw std::runtime_error("CDlgSetting::Init");
    }
    // Only now may a change of option reach the registry: opening the
    // dialog never writes it.
    m_initialised = true;
}

void CDlgSetting::FindControls()
{
    m_optAutoStart = FindAs<DuiLib::COptionUI>(*this, L"opt_autostart");
    m_optNoAutoStart = FindAs<DuiLib::COptionUI>(*this, L"opt_unautostart");
    m_editDownSpeed = FindAs<DuiLib::CEditUI>(*this, L"edit_downspeed");
    m_editUpSpeed = FindAs<DuiLib::CEditUI>(*this, L"edit_upspeed");
}

void CDlgSetting::ShowSettings()
{
    // The upload limit is kept but not offered to the player.
    m_editUpSpeed->SetVisible(false);
    m_editDownSpeed->SetText(std::to_wstring(m_settings.m_downLimit));
    m_editUpSpeed->SetText(std::to_wstring(m_settings.m_upLimit));
    if (QueryAutoStart())
        m_optAutoStart->Selected(true);
    else
        m_optNoAutoStart->Selected(true);
}

void CDlgSetting::Notify(DuiLib::TNotifyUI& msg)
{
    if (m_initialised && msg.sType == L"selectchanged") {
        if (msg.pSender == m_optAutoStart && m_optAutoStart->IsSelected())
            SetAutoStart(true);
        else if (msg.pSender == m_optNoAutoStart && m_optNoAutoStart->IsSelected())
            SetAutoStart(false);
    }
    CDUIDialogBase::Notify(msg);
}

void CDlgSetting::HandleClick(DuiLib::TNotifyUI& msg)
{
    // The site button's text is the address of the game's web site.
    if (msg.pSender && msg.pSender->GetName() == L"btn_url" && m_openUrl)
        m_openUrl(msg.pSender->GetText());
}

LRESULT CDlgSetting::HandleClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled)
{
    StoreLimits();
    return CDUIDialogBase::HandleClose(msg, wParam, lParam, handled);
}

// Whatever closed the dialog, the boxes are stored, changed or not. A
// negative number, which only pasting can bring, keeps both limits as they
// were.
void CDlgSetting::StoreLimits()
{
    if (!m_editDownSpeed || !m_editUpSpeed)
        return;
    const long down = LimitOfText(m_editDownSpeed->GetText());
    if (down < 0)
        return;
    const long up = LimitOfText(m_editUpSpeed->GetText());
    if (up < 0)
        return;
    m_settings.m_downLimit = int(down);
    m_settings.m_upLimit = int(up);
    m_settings.Save(m_settings.m_baseCfgPath);
}
