#pragma once

#include <string>

// Finding and starting the game's program once the download is complete.

// True when `mainExe` (the description's program path, from a file fetched
// over plain HTTP) stays inside the downloaded content: not absolute, no
// drive, no stream name, and no ".." step.
bool IsContainedProgramPath(const std::wstring& mainExe);

// The program's full path: under the kernel's folder, inside the content's
// root folder (the first component of the kernel's first file) unless the
// torrent holds a single file. Empty when `mainExe` is too short to name a
// program or would lead out of the content.
std::wstring GameProgramPath(const std::wstring& downloadDir, bool singleFile,
                             const std::wstring& firstFilePath, const std::wstring& mainExe);

// The folder a program is started in: its path without the file name.
std::wstring ProgramWorkingFolder(const std::wstring& programPath);

// Starts the program without waiting for it; nothing is reported.
void LaunchProgram(const std::wstring& path);
