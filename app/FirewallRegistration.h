#pragma once

#include <cstdio>
#include <string>

// Lets peers reach the engine: the executable is entered in the system
// firewall under the program's name, replacing an entry of that name from an
// earlier location. Nothing is reported to the user; every failure is one
// line on `log` and ends the attempt.

enum class EFirewallKind {
    AuthorisedApplications, // the firewall of Windows XP and Server 2003
    Rules,                  // the firewall of Windows Vista and later
};

// Version numbers are major × 100 + minor.
EFirewallKind FirewallKindForVersion(unsigned version);

// The authorised-applications list of INetFwMgr.
void RegisterWithOldFirewall(const std::wstring& exePath, std::FILE* log = stdout);
// A named inbound allow rule of INetFwPolicy2.
void RegisterWithNewFirewall(const std::wstring& exePath, std::FILE* log = stdout);

// The start-up step: this executable, with the routine the running system
// calls for. Skipped when the path or the system version is unavailable.
void RegisterWithFirewall(std::FILE* log = stdout);
