#include "settings/DriveProbe.h"

CSystemDriveProbe::CSystemDriveProbe()
{
    if (HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll"))
        m_getDiskFreeSpaceEx = reinterpret_cast<GetDiskFreeSpaceExFn>(
            reinterpret_cast<void*>(::GetProcAddress(kernel, "GetDiskFreeSpaceExW")));
}

UINT CSystemDriveProbe::DriveType(const wchar_t* root) const { return ::GetDriveTypeW(root); }

bool CSystemDriveProbe::FreeBytesForUser(const wchar_t* root, uint64_t& bytes) const
{
    ULARGE_INTEGER available;
    if (!m_getDiskFreeSpaceEx || !m_getDiskFreeSpaceEx(root, &available, nullptr, nullptr))
        return false;
    bytes = available.QuadPart;
    return true;
}

bool CSystemDriveProbe::FreeBytesFromClusters(const wchar_t* root, uint64_t& bytes) const
{
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
    if (!::GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                             &totalClusters))
        return false;
    bytes = uint64_t{sectorsPerCluster} * bytesPerSector * freeClusters;
    return true;
}
