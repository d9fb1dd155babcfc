#include "util/DirectoryTree.h"
#include "settings/DownloadDir.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <map>

namespace {

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A drive letter this Wine prefix does not map.
wchar_t MissingDriveLetter()
{
    for (wchar_t letter = L'Y'; letter > L'C'; --letter) {
        const wchar_t root[] = {letter, L':', L'\\', L'\0'};
        if (::GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR)
            return letter;
    }
    return 0;
}

TEST(CreateDirectoryTree, ExistingFolderSucceeds)
{
    TempDir folder;
    EXPECT_EQ(CreateDirectoryTree(folder.Path()), S_OK);
    EXPECT_EQ(CreateDirectoryTree(folder.Path() + L"\\"), S_OK);
}

TEST(CreateDirectoryTree, CreatesEveryMissingLevelBelowTheDrive)
{
    TempDir folder;
    const std::wstring games = folder.Path() + L"\\Games";
    ASSERT_EQ(folder.Path()[1], L':'); // a drive path, so the walk starts at the drive root
    EXPECT_EQ(CreateDirectoryTree(games + L"\\Korvane\\"), S_OK);
    EXPECT_TRUE(IsFolder(games));
    EXPECT_TRUE(IsFolder(games + L"\\Korvane"));
    EXPECT_EQ(CreateDirectoryTree(games + L"\\Korvane\\Deeper\\Still"), S_OK);
    EXPECT_TRUE(IsFolder(games + L"\\Korvane\\Deeper\\Still"));
}

TEST(CreateDirectoryTree, RefusesUncAndEmptyPaths)
{
    EXPECT_EQ(CreateDirectoryTree(L"\\\\server\\share\\x"), E_INVALIDARG);
    EXPECT_EQ(CreateDirectoryTree(L"\\rooted\\x"), E_INVALIDARG);
    EXPECT_EQ(CreateDirectoryTree(L""), E_INVALIDARG);
}

// The program's own folders may lie on a network share ("\\server\share\"),
// whose server and share are no levels to create; "\\?\C:\" has the same
// shape and is real under the test prefix.
TEST(CreateDirectoryTree, AProgramFolderOnAShareIsCreatedBelowTheShare)
{
    TempDir folder;
    const std::wstring shared = L"\\\\?\\" + folder.Path() + L"\\cfg\\deeper";
    EXPECT_EQ(CreateFolderOnDriveOrShare(shared), S_OK);
    EXPECT_TRUE(IsFolder(folder.Path() + L"\\cfg\\deeper"));
    EXPECT_EQ(CreateFolderOnDriveOrShare(L"\\\\?\\"), E_INVALIDARG) << "a share alone is nothing to create";
    EXPECT_EQ(CreateFolderOnDriveOrShare(folder.Path() + L"\\local"), S_OK);
    EXPECT_TRUE(IsFolder(folder.Path() + L"\\local"));
}

TEST(CreateDirectoryTree, MissingDriveGivesTheFirstLevelsError)
{
    const wchar_t letter = MissingDriveLetter();
    ASSERT_NE(letter, 0);
    const std::wstring drive = std::wstring(1, letter) + L":";

    ::SetLastError(0);
    ::CreateDirectoryW((drive + L"\\Games").c_str(), nullptr);
    const HRESULT firstLevel = HRESULT_FROM_WIN32(::GetLastError());

    const HRESULT result = CreateDirectoryTree(drive + L"\\Games\\Korvane\\");
    EXPECT_TRUE(FAILED(result));
    EXPECT_EQ(result, firstLevel);
}

TEST(CreateDirectoryTree, FileInTheWayFailsAndKeepsTheLevelsAbove)
{
    TempDir folder;
    folder.Write(L"blocker", "not a folder");
    const HRESULT result = CreateDirectoryTree(folder.File(L"blocker") + L"\\inner\\deepest");
    EXPECT_TRUE(FAILED(result));
    EXPECT_FALSE(IsFolder(folder.File(L"blocker") + L"\\inner"));
    EXPECT_EQ(folder.Read(L"blocker"), "not a folder");
}

// Drives described by the test; letters not described do not exist.
class CFakeDrives : public IDriveProbe {
public:
    struct SDrive {
        UINT type = DRIVE_FIXED;
        uint64_t freeBytes = 0;
        bool answersForUser = true;     // the newer call works
        bool answersFromClusters = true; // the older call works
    };

    void Add(wchar_t letter, SDrive drive) { m_drives[letter] = drive; }

    UINT DriveType(const wchar_t* root) const override
    {
        const SDrive* drive = Find(root);
        return drive ? drive->type : DRIVE_NO_ROOT_DIR;
    }
    bool FreeBytesForUser(const wchar_t* root, uint64_t& bytes) const override
    {
        return Answer(root, &SDrive::answersForUser, bytes);
    }
    bool FreeBytesFromClusters(const wchar_t* root, uint64_t& bytes) const override
    {
        return Answer(root, &SDrive::answersFromClusters, bytes);
    }

private:
    const SDrive* Find(const wchar_t* root) const
    {
        const auto found = m_drives.find(root[0]);
        return found == m_drives.end() ? nullptr : &found->second;
    }
    bool Answer(const wchar_t* root, bool SDrive::*answers, uint64_t& bytes) const
    {
        const SDrive* drive = Find(root);
        if (!drive || !(drive->*answers))
            return false;
        bytes = drive->freeBytes;
        return true;
    }

    std::map<wchar_t, SDrive> m_drives;
};

constexpr uint64_t kGB = 1024ull * 1024 * 1024;

TEST(ProposeDownloadDir, PicksTheFixedDriveWithMostSpaceAndTheEarlierOnATie)
{
    CFakeDrives drives;
    drives.Add(L'C', {DRIVE_FIXED, 10 * kGB});
    drives.Add(L'D', {DRIVE_REMOVABLE, 500 * kGB});
    drives.Add(L'E', {DRIVE_FIXED, 50 * kGB});
    drives.Add(L'F', {DRIVE_FIXED, 50 * kGB});
    EXPECT_EQ(ProposeDownloadDir(drives), L"E:\\Korvane\\");
}

TEST(ProposeDownloadDir, StaysOnCWhenNoExaminedDriveHasSpace)
{
    CFakeDrives onlyZ;
    onlyZ.Add(L'Z', {DRIVE_FIXED, 900 * kGB});
    EXPECT_EQ(ProposeDownloadDir(onlyZ), L"C:\\Korvane\\");

    CFakeDrives fullDisks;
    fullDisks.Add(L'D', {DRIVE_FIXED, 0});
    fullDisks.Add(L'E', {DRIVE_REMOTE, 900 * kGB});
    fullDisks.Add(L'F', {DRIVE_CDROM, 900 * kGB});
    EXPECT_EQ(ProposeDownloadDir(fullDisks), L"C:\\Korvane\\");

    EXPECT_EQ(ProposeDownloadDir(CFakeDrives()), L"C:\\Korvane\\");
}

TEST(ProposeDownloadDir, FallsBackToClusterCountsAndSkipsSilentDrives)
{
    CFakeDrives drives;
    drives.Add(L'C', {DRIVE_FIXED, 10 * kGB});
    drives.Add(L'D', {DRIVE_FIXED, 20 * kGB, false, true});  // only the older call answers
    drives.Add(L'G', {DRIVE_FIXED, 90 * kGB, false, false}); // neither answers
    EXPECT_EQ(ProposeDownloadDir(drives), L"D:\\Korvane\\");
}

TEST(GetDefaultDownloadDir, ReturnsACreatedGameFolder)
{
    const std::wstring folder = GetDefaultDownloadDir();
    ASSERT_GE(folder.size(), 11u);
    EXPECT_EQ(folder.substr(1, 2), L":\\");
    EXPECT_EQ(folder.substr(folder.size() - 9), L"\\Korvane\\");
    EXPECT_TRUE(IsFolder(folder));
}

} // namespace
