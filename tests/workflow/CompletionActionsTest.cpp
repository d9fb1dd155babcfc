// Finding the game's program in the downloaded tree and starting it.
#include "workflow/CompletionActions.h"
#include "workflow/WorkflowFixture.h"

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

TEST(GameProgramPath, SeveralFilesLieUnderTheContentsRootFolder)
{
    EXPECT_EQ(GameProgramPath(L"D:\\Games\\", false, L"Korvane\\bin\\game.exe", L"bin\\game.exe"),
              L"D:\\Games\\Korvane\\bin\\game.exe");
    EXPECT_EQ(GameProgramPath(L"D:/Games//", false, L"Korvane/bin/game.exe", L"bin/game.exe"),
              L"D:\\Games\\Korvane\\bin/game.exe")
        << "only the folder part is normalised";
}

TEST(GameProgramPath, ASingleFileOrARootlessFileListAddsNoFolder)
{
    EXPECT_EQ(GameProgramPath(L"D:\\Games\\Korvane\\", true, L"setup.exe", L"setup.exe"),
              L"D:\\Games\\Korvane\\setup.exe");
    EXPECT_EQ(GameProgramPath(L"D:\\Games\\", false, L"readme.txt", L"game.exe"), L"D:\\Games\\game.exe");
    EXPECT_EQ(GameProgramPath(L"D:\\", false, L"\\odd.txt", L"game.exe"), L"D:\\game.exe");
}

TEST(GameProgramPath, NoProgramFromAShortOrEscapingName)
{
    EXPECT_EQ(GameProgramPath(L"D:\\Games\\", false, L"Korvane\\a", L""), L"");
    EXPECT_EQ(GameProgramPath(L"D:\\Games\\", false, L"Korvane\\a", L"g"), L"");
    for (const wchar_t* escaping : {L"C:\\Windows\\system32\\cmd.exe", L"C:cmd.exe", L"\\\\server\\share\\x.exe",
                                    L"\\Windows\\notepad.exe", L"/bin/sh", L"..\\..\\evil.exe",
                                    L"bin\\..\\..\\evil.exe", L"bin/../../x.exe", L"..", L"game.exe:stream"}) {
        EXPECT_FALSE(IsContainedProgramPath(escaping)) << escaping;
        EXPECT_EQ(GameProgramPath(L"D:\\Games\\", false, L"Korvane\\a", escaping), L"") << escaping;
    }
    for (const wchar_t* contained : {L"game.exe", L"bin\\game.exe", L"bin/..game.exe", L"v1..2\\game.exe",
                                     L".\\game.exe"})
        EXPECT_TRUE(IsContainedProgramPath(contained)) << contained;
}

TEST(GameProgramPath, TheProgramRunsInItsOwnFolder)
{
    EXPECT_EQ(ProgramWorkingFolder(L"D:\\Games\\Korvane\\bin\\game.exe"), L"D:\\Games\\Korvane\\bin");
    EXPECT_EQ(ProgramWorkingFolder(L"D:\\game.exe"), L"D:\\");
    EXPECT_EQ(ProgramWorkingFolder(L"game.exe"), L"");
}

TEST(LaunchProgram, StartsAProgramWhoseFolderTheAnsiCodePageCannotHold)
{
    TempDir temp;
    // Thai letters are not in code page 936: a detour through it would lose them.
    const std::wstring folder = temp.File(L"游戏ไทย");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring program = folder + L"\\game.exe";
    ASSERT_TRUE(::CopyFileW(WindowsPathOfHostPath(KORVANE_GAME_STUB).c_str(), program.c_str(), FALSE));

    LaunchProgram(program);

    EXPECT_TRUE(WaitForGameStarted(folder)) << "the program did not start in its own folder";
}

} // namespace
