#include "app/FirewallRegistration.h"
#include "app/LauncherConfig.h"
#include "app/SingleInstance.h"
#include "distribution/Distribution.h"
#include "ui/MainWnd.h"
#include "ui/WndShadow.h"
#include "ui/toolkit/ControlHost.h"
#include "ui/toolkit/SkinResources.h"

#include <windows.h>
#include <objbase.h>

#include <cwchar>
#include <string>

namespace {

const DWORD kMainWindowStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX;

// "/S", "/s" or "/VERYSILENT" anywhere on the command line starts the program
// hidden; an argument that merely contains "/s", such as /silent, counts too.
bool IsSilentStart(const wchar_t* commandLine)
{
    if (!commandLine)
        return false;
    for (const wchar_t* switchText : {L"/S", L"/s", L"/VERYSILENT"})
        if (std::wcsstr(commandLine, switchText))
            return true;
    return false;
}

// The toolkit creates windows with this module and looks for files beside
// the program; the skin itself comes from the program's resources.
void SetUpToolkit(HINSTANCE instance)
{
    uitk::CSkinResources::SetInstance(instance);
    std::wstring folder = uitk::CSkinResources::GetInstancePath();
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/')
        folder += L'\\';
    uitk::CSkinResources::SetResourcePath(folder);
}

// Shown centred on its monitor's work area; the WM_SIZE lets the window and
// its shadow settle at the layout's size.
void ShowCentred(CMainWnd& window)
{
    const HWND handle = window.GetHWND();
    if (::IsWindow(handle))
        ::ShowWindow(handle, SW_SHOWNORMAL);
    window.CenterWindow();
    RECT client{};
    ::GetClientRect(handle, &client);
    ::SendMessageW(handle, WM_SIZE, 0, MAKELPARAM(client.right - client.left, client.bottom - client.top));
}

// Where the usage reports go. The local-reports build (the end-to-end test
// and the demo) takes the host from its environment, so the reports reach a
// collector on this machine; the shipped program has no such switch.
std::wstring ReportHost()
{
#ifdef KORVANE_REPORT_HOST_VARIABLE
    wchar_t host[256] = {};
    const DWORD length = ::GetEnvironmentVariableW(KORVANE_REPORT_HOST_VARIABLE, host, 256);
    if (length > 0 && length < 256)
        return host;
#endif
    return distribution::kReportHost;
}

SWorkflowOptions WorkflowOptions(const CLauncherConfig& config)
{
    SWorkflowOptions options;
    options.configUrl = config.config_url;
    options.p2pPort = config.p2p_port;
    options.reportIp = config.report_ip;
    options.runGame = config.run_game_exe;
    options.reportHost = ReportHost();
    options.publisherKey = distribution::kPublisherKey;
    return options;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int)
{
    // 1. Firewall registration, on every start: a second copy that is about
    // to hand over registers too.
    RegisterWithFirewall();

    // 2. Launcher configuration.
    CLauncherConfig& config = CLauncherConfig::Instance();
    config.Load(distribution::kLauncherConfigFile);

    // 3. One copy per engine port.
    CSingleInstance singleInstance;
    switch (singleInstance.Acquire(config.mutex_name)) {
    case CSingleInstance::Result::Failed:
        return 0;
    case CSingleInstance::Result::AlreadyRunning:
        CSingleInstance::ActivateRunningCopy(distribution::kWindowTitle);
        return 0;
    case CSingleInstance::Result::Acquired:
        break;
    }

    // 4. - 6. Shadows, the toolkit and COM for this thread (never undone).
    CWndShadow::Initialize(instance);
    SetUpToolkit(instance);
    ::CoInitialize(nullptr);

    // 7. - 9. The main window, hidden on a silent start.
    const bool show = !IsSilentStart(commandLine);
    auto* window = new CMainWnd(g_appSetting, WorkflowOptions(config), config.exit_on_done);
    if (!window->Create(nullptr, distribution::kWindowTitle, kMainWindowStyle, 0))
        return 0; // nothing could ever end the message loop
    g_pMainWnd = window;
    if (show)
        ShowCentred(*window);

    // 10. - 11. The window deletes itself once it is gone.
    uitk::CControlHost::MessageLoop();
    return 0;
}
