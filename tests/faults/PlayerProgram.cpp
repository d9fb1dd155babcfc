#include "faults/PlayerProgram.h"

#include "e2e/DebugOutputMonitor.h"
#include "faults/ConfigServer.h"
#include "util/TextConvert.h"

namespace {

const wchar_t kTitle[] = L"Korvane下载器";
const wchar_t kLinePrefix[] = L"Korvane: ";

// The start, pause and resume buttons share one place: 118 x 40 at the
// right of the bottom row of the 632 x 302 window.
const LPARAM kMainButton = MAKELPARAM(632 - 15 - 59, 302 - 15 - 20);

// One viewer of the debug output per desktop: shared by every program a
// test starts.
DebugOutputMonitor& Monitor()
{
    static DebugOutputMonitor monitor;
    return monitor;
}

BOOL CALLBACK CountTitled(HWND window, LPARAM count)
{
    wchar_t title[64] = {};
    ::GetWindowTextW(window, title, 64);
    if (std::wstring(title) == kTitle)
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

} // namespace

PlayerProgram::PlayerProgram(std::wstring exePath, std::wstring workingFolder)
    : m_exePath(std::move(exePath)), m_workingFolder(std::move(workingFolder))
{
    Monitor();
}

bool PlayerProgram::Launch()
{
    if (!Monitor().Running())
        return false;
    ::SetEnvironmentVariableW(L"KORVANE_REPORT_HOST", ConfigServer::ReportHost().c_str());
    const bool started = m_process.Start(m_exePath, L"", m_workingFolder);
    ::SetEnvironmentVariableW(L"KORVANE_REPORT_HOST", nullptr);
    return started;
}

bool PlayerProgram::WaitForWindow()
{
    m_window = m_process.WaitForWindowTitled(kTitle);
    return m_window && WaitFor([&] { return ::IsWindowVisible(m_window) != FALSE; });
}

void PlayerProgram::PressMainButton() const
{
    ::PostMessageW(m_window, WM_MOUSEMOVE, 0, kMainButton);
    ::PostMessageW(m_window, WM_LBUTTONDOWN, MK_LBUTTON, kMainButton);
    ::PostMessageW(m_window, WM_LBUTTONUP, 0, kMainButton);
}

// The clicks are handled in order, and the window lays its buttons out
// again before it looks for the one under the mouse: the second finds the
// resume button the first has shown.
void PlayerProgram::PressPauseThenResume() const
{
    PressMainButton();
    PressMainButton();
}

bool PlayerProgram::Responsive() const
{
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(m_window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

std::vector<std::wstring> PlayerProgram::DebugTexts() const { return Monitor().TextsOf(m_process.Id()); }

std::vector<std::wstring> PlayerProgram::ShownTexts() const
{
    std::vector<std::wstring> texts;
    const size_t prefix = std::char_traits<wchar_t>::length(kLinePrefix);
    for (const std::wstring& line : DebugTexts()) {
        if (line.rfind(kLinePrefix, 0) != 0)
            continue;
        const size_t space = line.find(L' ', prefix);
        texts.push_back(space == std::wstring::npos ? std::wstring() : line.substr(space + 1));
    }
    return texts;
}

bool PlayerProgram::WaitUntilShowing(const std::wstring& text, std::chrono::seconds limit) const
{
    return WaitFor(
        [&] {
            const std::vector<std::wstring> texts = ShownTexts();
            return !texts.empty() && texts.back() == text;
        },
        limit);
}

std::string PlayerProgram::Transcript() const
{
    std::string all = "the window's debug output:\n";
    for (const std::wstring& text : DebugTexts())
        all += "  " + WideToAnsi(text) + "\n";
    return all;
}

int CountProgramWindows()
{
    int count = 0;
    ::EnumWindows(&CountTitled, reinterpret_cast<LPARAM>(&count));
    return count;
}
