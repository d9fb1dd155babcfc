#pragma once

#include <string>

// The full path of the running executable, as GetModuleFileNameW gives it.
std::wstring GetModulePath();

// Starts this executable at logon (exactly as a start by hand), or stops
// doing so. Registry failures are not reported.
void SetAutoStart(bool on);

// Whether logon starts this very executable: the Run value must hold its
// path exactly, in the same letter case and without quotes.
bool QueryAutoStart();
