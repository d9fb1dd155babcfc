#include "shell/AutoStart.h"

#include "distribution/Distribution.h"
#include "shell/Registry.h"

#include <windows.h>

namespace {

const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

} // namespace

std::wstring GetModulePath()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

void SetAutoStart(bool on)
{
    std::wstring path = GetModulePath();
    RegStringValue(on ? ERegOp::Write : ERegOp::Delete, kRunKey, distribution::kAutoStartValueName, path);
}

bool QueryAutoStart()
{
    std::wstring registered;
    return RegStringValue(ERegOp::Read, kRunKey, distribution::kAutoStartValueName, registered) &&
           registered == GetModulePath();
}
