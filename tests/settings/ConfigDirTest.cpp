#include "settings/ConfigDir.h"
#include "settings/SimpleFile.h"

#include "support/TempDir.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

namespace {

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring CommonDataConfigDir()
{
    wchar_t common[MAX_PATH];
    EXPECT_TRUE(::SHGetSpecialFolderPathW(nullptr, common, CSIDL_COMMON_APPDATA, FALSE));
    return std::wstring(common) + L"\\Vantor_Tessary_Korvane\\cfg\\";
}

TEST(GetConfigDir, IsTheCfgFolderBesideTheProgram)
{
    wchar_t program[MAX_PATH];
    ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring expected(program);
    expected.erase(expected.find_last_of(L'\\') + 1);
    expected += L"cfg";
    const bool existed = IsFolder(expected);

    EXPECT_EQ(GetConfigDir(), expected + L"\\");
    EXPECT_TRUE(IsFolder(expected));
    if (!existed)
        ::RemoveDirectoryW(expected.c_str());
}

TEST(GetConfigDir, CreatesTheFolderInCanonicalForm)
{
    TempDir folder;
    EXPECT_EQ(GetConfigDirIn(folder.Path()), folder.Path() + L"\\cfg\\");
    EXPECT_TRUE(IsFolder(folder.File(L"cfg")));
    EXPECT_EQ(GetConfigDirIn(folder.Path() + L"\\sub\\..\\"), folder.Path() + L"\\cfg\\");
}

// The program's folder is made unusable by a file standing where a folder
// would have to be: no attribute or account can make that creation succeed.
TEST(GetConfigDir, FallsBackToCommonDataWhenTheProgramFolderIsNotWritable)
{
    TempDir folder;
    folder.Write(L"program", "a file, not a folder");
    EXPECT_EQ(GetConfigDirIn(folder.File(L"program")), CommonDataConfigDir());

    folder.Write(L"cfg", "a file named like the folder");
    EXPECT_EQ(GetConfigDirIn(folder.Path()), CommonDataConfigDir());
}

TEST(SimpleFile, ReportsWin32ErrorsAndRefusesAMissingBuffer)
{
    TempDir folder;
    CSimpleFile file;
    EXPECT_EQ(file.Open(folder.File(L"missing"), false), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(file.IsOpen());

    folder.Write(L"present", "abc");
    ASSERT_EQ(file.Open(folder.File(L"present"), false), 0u);
    DWORD count = 1;
    EXPECT_EQ(file.Read(nullptr, count), static_cast<DWORD>(E_INVALIDARG));
    EXPECT_EQ(count, 0u);
}

TEST(SimpleFile, WritingAppendsAndCreatesMissingFolders)
{
    TempDir folder;
    const std::wstring path = folder.File(L"a\\b\\c\\data.bin");
    {
        CSimpleFile file;
        ASSERT_EQ(file.Open(path, true), 0u);
        EXPECT_EQ(file.Size(), 0u);
        ASSERT_EQ(file.Append("hello ", 6), 0u);
    }
    CSimpleFile file;
    ASSERT_EQ(file.Open(path, true), 0u);
    EXPECT_EQ(file.Size(), 6u);
    ASSERT_EQ(file.Append("world", 5), 0u);
    file.Close();
    EXPECT_EQ(folder.Read(L"a\\b\\c\\data.bin"), "hello world");

    ASSERT_EQ(file.Create(path), 0u);
    EXPECT_EQ(file.Size(), 0u);
    file.Close();
    EXPECT_EQ(folder.Read(L"a\\b\\c\\data.bin"), "");
}

TEST(SimpleFile, ReadsInChunksUntilTheEnd)
{
    TempDir folder;
    std::string bytes(CSimpleFile::kChunkSize * 2 + 100, 'x');
    bytes[CSimpleFile::kChunkSize] = 'y';
    folder.Write(L"big", bytes);

    CSimpleFile file;
    ASSERT_EQ(file.Open(folder.File(L"big"), false), 0u);
    EXPECT_EQ(file.Size(), bytes.size());
    std::string read;
    char chunk[CSimpleFile::kChunkSize];
    DWORD count = 0;
    while (file.Read(chunk, count) == 0 && count > 0) {
        EXPECT_LE(count, CSimpleFile::kChunkSize);
        read.append(chunk, count);
    }
    EXPECT_EQ(read, bytes);
}

} // namespace
