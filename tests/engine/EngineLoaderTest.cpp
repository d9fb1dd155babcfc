// The kernel library written out of the program's resources and loaded, in
// a configuration folder of the test's own.
#include "engine/DlbtModule.h"
#include "engine/KernelCalls.h"

#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "util/UniqueHandle.h"

#include <gtest/gtest.h>

namespace {

std::string ResourceBytes()
{
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC resource = ::FindResourceW(self, MAKEINTRESOURCEW(131), L"DLLRES");
    if (!resource)
        return {};
    const char* data = static_cast<const char*>(::LockResource(::LoadResource(self, resource)));
    return std::string(data, ::SizeofResource(self, resource));
}

FILETIME LastWriteTime(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

std::wstring LoadedFrom(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

bool EveryEntryResolved(const SDlbtFunctions& f)
{
    const void* const* entries = reinterpret_cast<const void* const*>(&f);
    for (size_t i = 0; i < sizeof f / sizeof(void*); ++i)
        if (!entries[i])
            return false;
    return true;
}

bool NoEntryResolved(const SDlbtFunctions& f)
{
    const void* const* entries = reinterpret_cast<const void* const*>(&f);
    for (size_t i = 0; i < sizeof f / sizeof(void*); ++i)
        if (entries[i])
            return false;
    return true;
}

class EngineLoaderTest : public ::testing::Test {
protected:
    std::wstring ConfigDir() const { return m_folder.Path() + L"\\"; }
    TempDir m_folder;
};

TEST_F(EngineLoaderTest, FirstRunWritesExactlyTheResourceAndResolvesEveryEntry)
{
    const std::string resource = ResourceBytes();
    ASSERT_GT(resource.size(), 100000u);
    CDlbtModule kernel(ConfigDir());
    ASSERT_TRUE(kernel.Load());
    EXPECT_TRUE(kernel.m_resolved);
    EXPECT_FALSE(kernel.m_started);
    EXPECT_TRUE(EveryEntryResolved(kernel.m_functions));
    EXPECT_EQ(m_folder.Read(L"DLBT.dll"), resource);
    EXPECT_EQ(LoadedFrom(kernel.m_module), m_folder.File(L"DLBT.dll"));
}

TEST_F(EngineLoaderTest, AnExistingLibraryThatLoadsIsUsedUnchanged)
{
    m_folder.Write(L"DLBT.dll", ResourceBytes());
    const FILETIME old = {0x12345678, 0x01D00000};
    {
        CUniqueHandle file(::CreateFileW(m_folder.File(L"DLBT.dll").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &old));
    }
    CDlbtModule kernel(ConfigDir());
    ASSERT_TRUE(kernel.Load());
    const FILETIME after = LastWriteTime(m_folder.File(L"DLBT.dll"));
    EXPECT_EQ(::CompareFileTime(&old, &after), 0);
}

TEST_F(EngineLoaderTest, AnEmptyOrDamagedLibraryIsWrittenAgainAndLoaded)
{
    for (const char* content : {"", "MZ this is no library at all"}) {
        SCOPED_TRACE(content);
        TempDir folder;
        folder.Write(L"DLBT.dll", content);
        CDlbtModule kernel(folder.Path() + L"\\");
        ASSERT_TRUE(kernel.Load());
        EXPECT_EQ(folder.Read(L"DLBT.dll"), ResourceBytes());
    }
}

// An older program left its kernel library behind: it would load, but
// without what was added since. The carried one is written over it.
TEST_F(EngineLoaderTest, ALibraryOfAnotherVersionIsReplacedByTheCarriedOne)
{
    ASSERT_TRUE(::CopyFileW(WindowsPathOfHostPath(KORVANE_FAKE_KERNEL_DLL).c_str(),
                            m_folder.File(L"DLBT.dll").c_str(), FALSE));
    ASSERT_NE(m_folder.Read(L"DLBT.dll"), ResourceBytes());
    CDlbtModule kernel(ConfigDir());
    ASSERT_TRUE(kernel.Load());
    EXPECT_EQ(m_folder.Read(L"DLBT.dll"), ResourceBytes());
    EXPECT_TRUE(EveryEntryResolved(kernel.m_functions));
}

TEST_F(EngineLoaderTest, TheSecondNameIsUsedWhenTheFirstCannotBeMade)
{
    ASSERT_TRUE(::CreateDirectoryW(m_folder.File(L"DLBT.dll").c_str(), nullptr));
    CDlbtModule kernel(ConfigDir());
    ASSERT_TRUE(kernel.Load());
    EXPECT_EQ(LoadedFrom(kernel.m_module), m_folder.File(L"DLBT_3.8.dll"));
    EXPECT_EQ(m_folder.Read(L"DLBT_3.8.dll"), ResourceBytes());
}

TEST_F(EngineLoaderTest, AFolderThatCannotHoldTheLibraryFailsTheLoad)
{
    m_folder.Write(L"blocker", "a file where the configuration folder would be");
    CDlbtModule kernel(m_folder.File(L"blocker") + L"\\cfg\\");
    EXPECT_FALSE(kernel.Load());
    EXPECT_FALSE(kernel.IsLoaded());
    EXPECT_TRUE(NoEntryResolved(kernel.m_functions));
}

TEST_F(EngineLoaderTest, LoadingAgainTouchesNothingAndAfterTheStopLoadsAfresh)
{
    CDlbtModule kernel(ConfigDir());
    ASSERT_TRUE(kernel.Load());
    const HMODULE first = kernel.m_module;
    ::DeleteFileW(m_folder.File(L"DLBT.dll").c_str()); // may fail while loaded; then the file stays
    const bool present = m_folder.Exists(L"DLBT.dll");
    EXPECT_TRUE(kernel.Load());
    EXPECT_EQ(kernel.m_module, first);
    EXPECT_EQ(m_folder.Exists(L"DLBT.dll"), present) << "nothing was written";

    StartKernel(kernel, 29500);
    EXPECT_TRUE(kernel.m_started);
    DLBT_DOWNLOADER none = nullptr;
    StopKernel(kernel, none);
    EXPECT_FALSE(kernel.IsLoaded());
    EXPECT_FALSE(kernel.m_resolved);
    EXPECT_FALSE(kernel.m_started);
    EXPECT_TRUE(NoEntryResolved(kernel.m_functions));

    ASSERT_TRUE(kernel.Load());
    EXPECT_TRUE(EveryEntryResolved(kernel.m_functions));
}

} // namespace
