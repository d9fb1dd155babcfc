#pragma once

#include <string>

// `path` with trailing "/" and then trailing "\" characters removed and one
// "\" appended: the form in which the program keeps every folder.
std::wstring WithOneTrailingBackslash(std::wstring path);

// `path` with every "/" turned into "\".
std::wstring WithBackslashes(std::wstring path);

// True when `path` names an existing file (not a folder).
bool FileExists(const std::wstring& path);

// The folder part of a file path, up to and including its last "\" or "/";
// empty when the path names no folder.
std::wstring FolderOfPath(const std::wstring& path);
