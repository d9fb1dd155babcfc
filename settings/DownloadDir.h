#pragma once

#include "settings/DriveProbe.h"

#include <string>

// The download folder proposed on first use: the game folder on the fixed
// drive, C: to Y:, with the most space free to the user (the earlier letter
// on a tie), or on C: when no fixed drive reports any. Ends in "\".
std::wstring ProposeDownloadDir(const IDriveProbe& drives);

// The proposal for this computer's drives, created on the way; a folder that
// cannot be created is still returned (starting the download reports it).
std::wstring GetDefaultDownloadDir();
