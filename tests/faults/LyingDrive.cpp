#include "LyingDrive.h"

#include "support/ChildProcess.h"
#include "util/UniqueHandle.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>

namespace lying_drive {
namespace {

const wchar_t kControl[] = L"M:\\.lying-drive";

// The value of `key=` among the words of the first line beginning with
// `prefix`; empty when there is none.
std::string Field(const std::string& report, const std::string& prefix, const std::string& key)
{
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::istringstream words(line.substr(prefix.size()));
        for (std::string word; words >> word;)
            if (word.compare(0, key.size() + 1, key + "=") == 0)
                return word.substr(key.size() + 1);
        return {};
    }
    return {};
}

std::string RulePrefix(const std::string& name) { return "rule " + name + " "; }

} // namespace

const std::wstring& Root()
{
    static const std::wstring root = L"M:\\";
    return root;
}

std::wstring BackingPath(const std::wstring& pathOnDrive)
{
    std::wstring relative = pathOnDrive;
    if (relative.compare(0, Root().size(), Root()) == 0)
        relative.erase(0, Root().size());
    return WindowsPathOfHostPath(KORVANE_LYING_DRIVE_BACKING) + L"\\" + relative;
}

bool Present()
{
    return ::GetFileAttributesW(kControl) != INVALID_FILE_ATTRIBUTES && !Report().empty();
}

bool Command(const std::string& commands)
{
    CUniqueHandle control(::CreateFileW(kControl, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    DWORD written = 0;
    return control.Valid() &&
           ::WriteFile(control.Get(), commands.data(), static_cast<DWORD>(commands.size()), &written, nullptr) &&
           written == commands.size();
}

std::string Report()
{
    CUniqueHandle control(::CreateFileW(kControl, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    if (!control.Valid())
        return {};
    std::string report;
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(control.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        report.append(buffer, read);
    return report;
}

int Fired(const std::string& name)
{
    const std::string fired = Field(Report(), RulePrefix(name), "fired");
    return fired.empty() ? -1 : std::atoi(fired.c_str());
}

bool Armed(const std::string& name) { return Field(Report(), RulePrefix(name), "armed") == "1"; }

uint64_t Count(const std::string& key)
{
    return std::strtoull(Field(Report(), "drive ", key).c_str(), nullptr, 10);
}

} // namespace lying_drive
