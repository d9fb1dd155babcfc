#include "app/Distribution.h"
#include "app/FirewallRegistration.h"
#include "app/LauncherConfig.h"
#include "app/SingleInstance.h"
#include "app/StandInWindow.h"

#include <windows.h>

#include <cwchar>

namespace {

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

int RunMessageLoop()
{
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int)
{
    // Every start registers, also a second copy that is about to hand over.
    RegisterWithFirewall();

    CLauncherConfig& config = CLauncherConfig::Instance();
    config.Load(distribution::kLauncherConfigFile);

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

    const bool show = !IsSilentStart(commandLine);

    CStandInWindow window;
    if (!window.Create(instance, distribution::kWindowTitle))
        return 0; // nothing could ever end the message loop
    if (show)
        window.Show();

    RunMessageLoop();
    return 0;
}
