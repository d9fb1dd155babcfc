#pragma once

#include <windows.h>

#include <cstdint>

// What the download folder proposal needs to know about a drive, behind an
// interface so the choice can be tried against described drives.
class IDriveProbe {
public:
    // GetDriveTypeW of a root such as L"C:\\".
    virtual UINT DriveType(const wchar_t* root) const = 0;
    // Bytes available to the calling user; false when the question cannot be
    // asked this way or the drive does not answer.
    virtual bool FreeBytesForUser(const wchar_t* root, uint64_t& bytes) const = 0;
    // Free bytes from the cluster counts of the older call; false on failure.
    virtual bool FreeBytesFromClusters(const wchar_t* root, uint64_t& bytes) const = 0;

protected:
    ~IDriveProbe() = default;
};

// The drives of this computer. GetDiskFreeSpaceExW is looked up by name, as
// the oldest systems lack it.
class CSystemDriveProbe final : public IDriveProbe {
public:
    CSystemDriveProbe();

    UINT DriveType(const wchar_t* root) const override;
    bool FreeBytesForUser(const wchar_t* root, uint64_t& bytes) const override;
    bool FreeBytesFromClusters(const wchar_t* root, uint64_t& bytes) const override;

private:
    using GetDiskFreeSpaceExFn = BOOL(WINAPI*)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER,
                                               PULARGE_INTEGER);
    GetDiskFreeSpaceExFn m_getDiskFreeSpaceEx = nullptr;
};
