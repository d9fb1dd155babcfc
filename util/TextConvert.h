#pragma once

#include <string>

// The program's JSON files hold text in the user's ANSI code page, not UTF-8;
// these convert between it (the thread's ANSI code page) and UTF-16.
std::wstring AnsiToWide(const std::string& text);
// A character the code page lacks becomes its default character ("?").
std::string WideToAnsi(const std::wstring& text);
// Whether `text` survives the way through the ANSI code page unchanged, as a
// folder stored in the settings must.
bool FitsAnsiCodePage(const std::wstring& text);
