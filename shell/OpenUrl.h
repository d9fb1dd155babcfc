#pragma once

#include <windows.h>

#include <string>

// Opens a web address in the user's browser, maximised; without a browser
// registered for addresses, in Internet Explorer. Nothing is reported.
void OpenUrl(const std::wstring& url);

// The same through another ShellExecuteW, so that tests can watch the calls
// without a browser ever starting.
using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
void OpenUrlWith(const std::wstring& url, ShellExecuteFunction shellExecute);
