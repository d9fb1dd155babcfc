// The program in a folder it may not write to (a locked-down install): its
// settings, description, torrent and kernel go to the common application
// data folder instead, and the game still comes in.
#include "faults/GameCase.h"

#include "settings/ConfigDir.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <shlobj.h>

namespace {

std::wstring CommonDataHome()
{
    wchar_t common[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, common, CSIDL_COMMON_APPDATA, FALSE);
    return std::wstring(common) + L"\\Vantor_Tessary_Korvane";
}

std::wstring CommonDataCfg() { return CommonDataHome() + L"\\cfg\\"; }

std::wstring LockedFolder(const char* name)
{
    return WindowsPathOfHostPath(std::string(KORVANE_UNWRITABLE_DIR "/") + name);
}

bool IsEmptyFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool empty = true;
    do {
        const std::wstring name = found.cFileName;
        empty = empty && (name == L"." || name == L"..");
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return empty;
}

// Where the program lives: a folder in which no "cfg" can be made, or one
// whose "cfg" exists and cannot be written into.
struct LockedInstall {
    const char* folder;
    int p2pPort;
};

class UnwritableConfigFolder : public GameCase, public ::testing::WithParamInterface<LockedInstall> {
protected:
    void SetUp() override { RemoveTree(CommonDataHome()); }
    void TearDown() override { RemoveTree(CommonDataHome()); }
};

TEST_P(UnwritableConfigFolder, TheCommonDataFolderIsUsedAndTheGameComesIn)
{
    const std::wstring program = LockedFolder(GetParam().folder) + L"\\KorvaneDownloader.exe";
    ASSERT_NE(::GetFileAttributesW(program.c_str()), INVALID_FILE_ATTRIBUTES) << "the fixture has not run";
    EXPECT_EQ(GetConfigDirIn(LockedFolder(GetParam().folder)), CommonDataCfg());

    ASSERT_NO_FATAL_FAILURE(PrepareCase(std::string("unwritable_") + GetParam().folder, GetParam().p2pPort));
    ASSERT_EQ(::SHCreateDirectoryExW(nullptr, CommonDataCfg().c_str(), nullptr), ERROR_SUCCESS);
    WriteBaseSettings(CommonDataCfg());

    ProgramDriver player = Player();
    ASSERT_TRUE(player.Start(program, m_home.Path())) << player.Shown();
    ASSERT_TRUE(player.Press(L"btn_start"));
    // Everything the program keeps went to the common folder.
    ExpectDownloadCompletes(player, CommonDataCfg());
    EXPECT_EQ(ReadWholeFile(CommonDataCfg() + L"server.cfg"), Description());
    EXPECT_NE(::GetFileAttributesW((CommonDataCfg() + L"DLBT.dll").c_str()), INVALID_FILE_ATTRIBUTES);
    const std::wstring besideProgram = LockedFolder(GetParam().folder) + L"\\cfg";
    EXPECT_TRUE(::GetFileAttributesW(besideProgram.c_str()) == INVALID_FILE_ATTRIBUTES ||
                IsEmptyFolder(besideProgram));
}

INSTANTIATE_TEST_SUITE_P(Faults, UnwritableConfigFolder,
                         ::testing::Values(LockedInstall{"program", 31940}, LockedInstall{"cfg-locked", 31960}),
                         [](const ::testing::TestParamInfo<LockedInstall>& info) {
                             return std::string(info.param.folder) == "program" ? "NoCfgCanBeMade"
                                                                                : "CfgCannotBeWritten";
                         });

} // namespace
