#include "support/ProgramDriver.h"

#include "distribution/Distribution.h"
#include "util/TextConvert.h"

#include <optional>

namespace {

using distribution::kWindowTitle;
const wchar_t kLinePrefix[] = L"Korvane: ";

// A press the window took shows a line within a tick or two. Not sooner
// than this is start pressed again: a slow first line (a loaded machine,
// the strict checks) would turn the next press into a pause.
const auto kPressAnswer = std::chrono::seconds(15);

std::optional<std::wstring> Variable(const std::wstring& name)
{
    const DWORD size = ::GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0)
        return std::nullopt;
    std::wstring value(size, L'\0');
    value.resize(::GetEnvironmentVariableW(name.c_str(), &value[0], size));
    return value;
}

void SetVariable(const std::wstring& name, const std::optional<std::wstring>& value)
{
    ::SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
}

BOOL CALLBACK CountTitled(HWND window, LPARAM count)
{
    wchar_t title[64] = {};
    ::GetWindowTextW(window, title, 64);
    if (std::wstring(title) == kWindowTitle)
        ++*reinterpret_cast<int*>(count);
    return TRUE;
}

} // namespace

void ProgramDriver::SetEnvironment(const std::wstring& name, const std::wstring& value)
{
    m_environment.emplace_back(name, value);
}

// The child inherits the variables, so they are ours for the moment of the
// start and then as they were.
bool ProgramDriver::Launch(const std::wstring& program, const std::wstring& folder)
{
    m_program = program;
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved;
    for (const auto& [name, value] : m_environment) {
        saved.emplace_back(name, Variable(name));
        SetVariable(name, value);
    }
    const bool started = m_process.Start(program, L"", folder);
    m_startError = started ? 0 : ::GetLastError();
    for (auto it = saved.rbegin(); it != saved.rend(); ++it)
        SetVariable(it->first, it->second);
    return started;
}

bool ProgramDriver::WaitForWindow(std::chrono::milliseconds limit)
{
    m_window = m_process.WaitForWindowTitled(kWindowTitle, limit);
    return m_window && WaitFor([&] { return ::IsWindowVisible(m_window) != FALSE; }, limit);
}

// Posted, not sent: the window may be busy, and the clicks are handled in
// order. The window lays its buttons out again before it looks for the one
// under the mouse, so pause then resume finds the resume button the pause
// has shown.
bool ProgramDriver::Press(const std::wstring& button)
{
    if (m_layout.Empty())
        m_layout = WindowLayout::OfProgram(m_program);
    const RECT place = m_layout.Position(button);
    if (::IsRectEmpty(&place))
        return false;
    const POINT centre = m_layout.Centre(button);
    const LPARAM at = MAKELPARAM(centre.x, centre.y);
    m_pressedAt = Clock::now();
    ::PostMessageW(m_window, WM_MOUSEMOVE, 0, at);
    ::PostMessageW(m_window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(m_window, WM_LBUTTONUP, 0, at);
    return true;
}

// The window takes start only once the description and torrent are in and
// it has settled; a window that shows a line already needs no press. A
// message box raised by the press (the disk-space warning can come before
// the first line) is owned by the window, which is disabled while it is up:
// the press was taken, and pressing again would click into the box's loop.
bool ProgramDriver::PressStart(std::chrono::milliseconds limit)
{
    const auto taken = [&] { return !Lines().empty() || (Running() && !::IsWindowEnabled(m_window)); };
    const auto deadline = Clock::now() + limit;
    while (!taken()) {
        if (Clock::now() >= deadline || !Running() || !Press(L"btn_start"))
            return false;
        WaitFor([&] { return taken() || !Running(); }, kPressAnswer);
    }
    return true;
}

bool ProgramDriver::ProgressLine(const std::wstring& text, std::wstring& line)
{
    if (text.rfind(kLinePrefix, 0) != 0)
        return false;
    line = text.substr(std::char_traits<wchar_t>::length(kLinePrefix));
    return true;
}

std::vector<std::wstring> ProgramDriver::Lines() const
{
    std::vector<std::wstring> lines;
    std::wstring line;
    for (const std::wstring& text : m_monitor.TextsOf(Id()))
        if (ProgressLine(text, line))
            lines.push_back(line);
    return lines;
}

std::wstring ProgramDriver::LastLine() const
{
    const std::vector<std::wstring> lines = Lines();
    return lines.empty() ? std::wstring() : lines.back();
}

bool ProgramDriver::WaitForLine(const std::function<bool(const std::wstring&)>& wanted,
                                std::chrono::milliseconds limit) const
{
    return WaitFor([&] {
        const std::wstring line = LastLine();
        return !line.empty() && wanted(line);
    }, limit);
}

bool ProgramDriver::WaitForPercent(int percent, std::chrono::milliseconds limit) const
{
    return WaitForLine([&](const std::wstring& line) { return PercentOf(line) >= percent; }, limit);
}

bool ProgramDriver::WaitUntilShowing(const std::wstring& text, std::chrono::milliseconds limit) const
{
    return WaitForLine([&](const std::wstring& line) { return TextOf(line) == text; }, limit);
}

ProgramDriver::Clock::time_point ProgramDriver::TimeOf(const std::wstring& line) const
{
    return m_monitor.TimeOf(Id(), kLinePrefix + line);
}

std::string ProgramDriver::Shown() const
{
    if (m_startError)
        return "the program could not be started: error " + std::to_string(m_startError) + "\n";
    std::string all = "the program's debug output:\n";
    for (const std::wstring& text : m_monitor.TextsOf(Id()))
        all += "  " + WideToAnsi(text) + "\n";
    return all;
}

bool ProgramDriver::Responsive() const
{
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(m_window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

HWND ProgramDriver::WaitForMessageBox(const wchar_t* caption, std::chrono::milliseconds limit) const
{
    return m_process.WaitForWindowTitled(caption, limit);
}

int PercentOf(const std::wstring& line) { return _wtoi(line.c_str()); }

std::wstring TextOf(const std::wstring& line)
{
    const size_t space = line.find(L' ');
    return space == std::wstring::npos ? std::wstring() : line.substr(space + 1);
}

std::wstring MessageBoxText(HWND box)
{
    wchar_t text[512] = {};
    ::GetDlgItemTextW(box, 0xFFFF, text, 512); // the box's text is its static control
    return text;
}

void PressOk(HWND box) { ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }

int CountProgramWindows()
{
    int count = 0;
    ::EnumWindows(&CountTitled, reinterpret_cast<LPARAM>(&count));
    return count;
}
