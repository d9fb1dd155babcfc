#pragma once

#include <boost/system/error_code.hpp>

#include <string>

// libtorrent speaks UTF-8 (also for paths, which it widens itself on
// Windows); the kernel's callers speak UTF-16 and the ANSI code page.
namespace kernel {

std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
std::string WideToAnsi(const std::wstring& text); // the thread's ANSI code page, as the program reads it

// An error as the player's system words it. libtorrent's own text for a
// system error comes in the ANSI code page, not in the UTF-8 it speaks
// otherwise: a Chinese message read as UTF-8 is lost.
std::wstring ErrorText(const boost::system::error_code& error);

// One line to the debugger output, where a developer or a log collector
// sees why the kernel refused or failed something.
void Tell(const std::wstring& text);

// Copies `text` and its NUL into a caller's buffer of `*length` units, or
// tells in `*length` how many are needed. Returns a DLBT result code.
int CopyOut(const std::string& text, char* buffer, int* length);
int CopyOut(const std::wstring& text, wchar_t* buffer, int* length);

} // namespace kernel
