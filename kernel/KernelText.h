#pragma once

#include <string>

// libtorrent speaks UTF-8 (also for paths, which it widens itself on
// Windows); the kernel's callers speak UTF-16 and the ANSI code page.
namespace kernel {

std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
std::string Utf8ToAnsi(const std::string& text);

// Copies `text` and its NUL into a caller's buffer of `*length` units, or
// tells in `*length` how many are needed. Returns a DLBT result code.
int CopyOut(const std::string& text, char* buffer, int* length);
int CopyOut(const std::wstring& text, wchar_t* buffer, int* length);

} // namespace kernel
