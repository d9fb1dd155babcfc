// Both firewall routines against the firewall COM objects Wine offers: they
// may be partial, but a routine must always end, print only its own lines
// and leave COM on the thread as it found it.
#include "app/FirewallRegistration.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <regex>
#include <string>

namespace {

// What a routine printed, caught in a temporary file.
class CapturedLog {
public:
    CapturedLog() : m_file(std::tmpfile()) {}
    ~CapturedLog()
    {
        if (m_file)
            std::fclose(m_file);
    }
    std::FILE* File() const { return m_file; }
    std::string Text() const
    {
        std::fflush(m_file);
        std::rewind(m_file);
        std::string text;
        char buffer[256];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof(buffer), m_file)) > 0)
            text.append(buffer, got);
        return text;
    }

private:
    std::FILE* m_file;
};

std::wstring ThisProgram()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

const char kResult[] = " failed: 0x[0-9a-f]{8}\n";

// Every line either routine may print, in order; each failure ends it.
const std::regex kOldRoutineOutput(std::string("(CoInitializeEx|CoCreateInstance|get_LocalPolicy|get_CurrentProfile|"
                                               "get_AuthorizedApplications)") +
                                   kResult + "|Failed to remove the rule\\.\n|item is exist(|(CoCreateInstance|"
                                             "put_ProcessImageFileName|put_Name|Add)" +
                                   kResult + ")");
const std::regex kNewRoutineOutput(std::string("(CoInitializeEx|CoCreateInstance for INetFwPolicy2|get_Rules|"
                                               "CoCreateInstance for Firewall Rule|Firewall Rule Add)") +
                                   kResult + "|Failed to remove the rule\\.\n|");

// Whether the thread is outside COM: then a multithreaded start is a first one.
bool ThreadIsOutsideCom()
{
    HRESULT result = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(result))
        ::CoUninitialize();
    return result == S_OK;
}

} // namespace

TEST(Firewall, TheSystemVersionChoosesTheRoutine)
{
    for (unsigned version : {400u, 500u, 501u, 502u, 599u})
        EXPECT_EQ(FirewallKindForVersion(version), EFirewallKind::AuthorisedApplications) << version;
    for (unsigned version : {600u, 601u, 602u, 603u, 1000u})
        EXPECT_EQ(FirewallKindForVersion(version), EFirewallKind::Rules) << version;
}

TEST(Firewall, BothRoutinesEndWithTheirOwnLinesAndUndoTheirCom)
{
    for (bool old : {true, false}) {
        SCOPED_TRACE(old ? "old firewall" : "new firewall");
        CapturedLog log;
        if (old)
            RegisterWithOldFirewall(ThisProgram(), log.File());
        else
            RegisterWithNewFirewall(ThisProgram(), log.File());
        const std::string text = log.Text();
        std::printf("%s routine printed: \"%s\"\n", old ? "old" : "new", text.c_str());
        EXPECT_TRUE(std::regex_match(text, old ? kOldRoutineOutput : kNewRoutineOutput)) << text;
        EXPECT_TRUE(ThreadIsOutsideCom());
    }
}

TEST(Firewall, AThreadAlreadyInAnotherApartmentKeepsItsCom)
{
    ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CapturedLog log;
    RegisterWithNewFirewall(ThisProgram(), log.File());
    RegisterWithOldFirewall(ThisProgram(), log.File());
    EXPECT_EQ(log.Text().find("CoInitializeEx"), std::string::npos) << log.Text();
    // Still in the multithreaded apartment: a further start only counts up.
    EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    ::CoUninitialize();
    ::CoUninitialize();
    EXPECT_TRUE(ThreadIsOutsideCom());
}

TEST(Firewall, StartUpNamesTheVersionAndRunsTheRoutineItCallsFor)
{
    CapturedLog log;
    RegisterWithFirewall(log.File());
    const std::string text = log.Text();
    std::smatch match;
    ASSERT_TRUE(std::regex_search(text, match, std::regex("^Firewall Rule version: ([0-9]+)\n"))) << text;
    const unsigned version = unsigned(std::stoul(match[1]));
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(::GetVersionExW(&info));
#pragma GCC diagnostic pop
    EXPECT_EQ(version, info.dwMajorVersion * 100 + info.dwMinorVersion);
    std::printf("start-up ran the %s routine for version %u\n", version < 600 ? "old" : "new", version);
    const std::string rest = match.suffix();
    EXPECT_TRUE(std::regex_match(rest, version < 600 ? kOldRoutineOutput : kNewRoutineOutput)) << rest;
}
