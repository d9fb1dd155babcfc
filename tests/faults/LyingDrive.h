#pragma once

#include <cstdint>
#include <string>

// The lying drive of the fault tests (faults/lying_drive.py, whose head
// describes the commands) as a test under Wine sees it: drive M:, mounted
// by a fixture where FUSE can be mounted, with its files kept in a folder
// of the build (KORVANE_LYING_DRIVE_BACKING) that the drive cannot lie about.
namespace lying_drive {

// "M:\", the drive's root.
const std::wstring& Root();

// The folder that holds the drive's files, as Wine sees it: reading a file
// there shows what is on the drive without passing through it, so no rule
// sees the read and no cache answers it.
std::wstring BackingPath(const std::wstring& pathOnDrive);

// True when the drive is mounted and answers.
bool Present();

// Sends one or more commands, a line each; true when the drive took them
// all (they then hold before this returns), false when it took none.
bool Command(const std::string& commands);
inline bool Arm(const std::string& name, const std::string& rule) { return Command("arm " + name + " " + rule); }
inline bool Disarm(const std::string& name) { return Command("disarm " + name); }
inline bool Reset() { return Command("reset"); }

// The drive's counts, as it reports them.
std::string Report();

// How often the rule `name` injected its fault; -1 when the drive has no
// such rule.
int Fired(const std::string& name);
// Whether the rule still fires.
bool Armed(const std::string& name);
// A count of the drive as a whole: writes, written, reads, read, truncates
// or creates.
uint64_t Count(const std::string& key);

} // namespace lying_drive
