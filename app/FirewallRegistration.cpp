#include "app/FirewallRegistration.h"

#include "distribution/Distribution.h"
#include "util/ComPtr.h"

#include <windows.h>

#include <initguid.h>
#include <netfw.h>

namespace {

const unsigned kFirstRulesVersion = 600;

void LogResult(std::FILE* log, const char* what, HRESULT result)
{
    std::fprintf(log, "%s failed: 0x%08lx\n", what, static_cast<unsigned long>(result));
}

// Both routines share their beginning: the two names and COM on this thread.
// Their interfaces live in the routine's own scope, so all are released
// before COM is undone.
class CFirewallSession {
public:
    CFirewallSession(const std::wstring& exePath, DWORD comMode, std::FILE* log)
        : m_name(distribution::kWindowTitle), m_path(exePath.c_str()), m_apartment(comMode)
    {
        if (!m_apartment.Usable())
            LogResult(log, "CoInitializeEx", m_apartment.Result());
    }
    bool Ready() const { return m_apartment.Usable(); }
    BSTR Name() const { return m_name.Get(); }
    BSTR Path() const { return m_path.Get(); }

private:
    CBstr m_name;
    CBstr m_path;
    CComApartment m_apartment;
};

template <typename T>
HRESULT CreateInstance(REFCLSID classId, REFIID interfaceId, CComPtr<T>& object)
{
    return ::CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, interfaceId, object.ReceiveVoid());
}

void AddAuthorisedApplication(const CFirewallSession& session, std::FILE* log)
{
    CComPtr<INetFwMgr> manager;
    CComPtr<INetFwPolicy> policy;
    CComPtr<INetFwProfile> profile;
    CComPtr<INetFwAuthorizedApplications> applications;
    CComPtr<INetFwAuthorizedApplication> application;
    HRESULT result = CreateInstance(CLSID_NetFwMgr, IID_INetFwMgr, manager);
    if (FAILED(result))
        return LogResult(log, "CoCreateInstance", result);
    if (FAILED(result = manager->get_LocalPolicy(policy.Receive())))
        return LogResult(log, "get_LocalPolicy", result);
    if (FAILED(result = policy->get_CurrentProfile(profile.Receive())))
        return LogResult(log, "get_CurrentProfile", result);
    if (FAILED(result = profile->get_AuthorizedApplications(applications.Receive())))
        return LogResult(log, "get_AuthorizedApplications", result);
    if (FAILED(applications->Remove(session.Name()))) {
        std::fprintf(log, "Failed to remove the rule.\n");
        return;
    }
    std::fprintf(log, "item is exist");
    if (FAILED(result = CreateInstance(CLSID_NetFwAuthorizedApplication, IID_INetFwAuthorizedApplication,
                                       application)))
        return LogResult(log, "CoCreateInstance", result);
    if (FAILED(result = application->put_ProcessImageFileName(session.Path())))
        return LogResult(log, "put_ProcessImageFileName", result);
    if (FAILED(result = application->put_Name(session.Name())))
        return LogResult(log, "put_Name", result);
    if (FAILED(result = applications->Add(application.Get())))
        return LogResult(log, "Add", result);
}

void AddInboundRule(const CFirewallSession& session, std::FILE* log)
{
    CComPtr<INetFwPolicy2> policy;
    CComPtr<INetFwRules> rules;
    CComPtr<INetFwRule> existing;
    CComPtr<INetFwRule> rule;
    HRESULT result = CreateInstance(CLSID_NetFwPolicy2, IID_INetFwPolicy2, policy);
    if (FAILED(result))
        return LogResult(log, "CoCreateInstance for INetFwPolicy2", result);
    if (FAILED(result = policy->get_Rules(rules.Receive())))
        return LogResult(log, "get_Rules", result);
    // Each start replaces the entry, so a moved executable is let in at its
    // new place.
    if (SUCCEEDED(rules->Item(session.Name(), existing.Receive())) && FAILED(rules->Remove(session.Name()))) {
        std::fprintf(log, "Failed to remove the rule.\n");
        return;
    }
    if (FAILED(result = CreateInstance(CLSID_NetFwRule, IID_INetFwRule, rule)))
        return LogResult(log, "CoCreateInstance for Firewall Rule", result);
    rule->put_Name(session.Name());
    rule->put_ApplicationName(session.Path());
    rule->put_Action(NET_FW_ACTION_ALLOW);
    rule->put_Direction(NET_FW_RULE_DIR_IN);
    rule->put_Enabled(VARIANT_TRUE);
    if (FAILED(result = rules->Add(rule.Get())))
        return LogResult(log, "Firewall Rule Add", result);
}

} // namespace

EFirewallKind FirewallKindForVersion(unsigned version)
{
    return version < kFirstRulesVersion ? EFirewallKind::AuthorisedApplications : EFirewallKind::Rules;
}

void RegisterWithOldFirewall(const std::wstring& exePath, std::FILE* log)
{
    const CFirewallSession session(exePath, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE, log);
    if (session.Ready())
        AddAuthorisedApplication(session, log);
}

void RegisterWithNewFirewall(const std::wstring& exePath, std::FILE* log)
{
    const CFirewallSession session(exePath, COINIT_APARTMENTTHREADED, log);
    if (session.Ready())
        AddInboundRule(session, log);
}

void RegisterWithFirewall(std::FILE* log)
{
    HMODULE module = ::GetModuleHandleW(nullptr);
    wchar_t path[MAX_PATH] = {};
    if (!module || !::GetModuleFileNameW(module, path, MAX_PATH))
        return;
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExW(&version))
        return;
#pragma GCC diagnostic pop
    const unsigned number = version.dwMajorVersion * 100 + version.dwMinorVersion;
    std::fprintf(log, "Firewall Rule version: %d\n", int(number));
    if (FirewallKindForVersion(number) == EFirewallKind::Rules)
        RegisterWithNewFirewall(path, log);
    else
        RegisterWithOldFirewall(path, log);
}
