#pragma once

#include <string>

// The configuration folder: "cfg" beside the running program, created when
// missing, or, when it cannot be created or written into there,
// "Vantor_Tessary_Korvane\cfg" under the common application-data folder
// (made when the first file is written into it). Ends in one "\".
std::wstring GetConfigDir();

// The same rule for a program living in `programFolder`.
std::wstring GetConfigDirIn(const std::wstring& programFolder);
