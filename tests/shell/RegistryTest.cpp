// String values under HKEY_CURRENT_USER in the real registry of the test
// prefix, in a key of this test's own.
#include "shell/Registry.h"

#include "util/UniqueRegKey.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_keyPath = L"Software\\KorvaneTests\\Registry" + std::to_wstring(::GetCurrentProcessId());
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_keyPath.c_str());
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, m_keyPath.c_str()); }

    // Puts raw data of any type under a value name, past RegStringValue.
    void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes) const
    {
        CUniqueRegKey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, m_keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                    key.Receive(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key.Get(), name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
    }
    bool ValueExists(const wchar_t* name) const
    {
        return ::RegGetValueW(HKEY_CURRENT_USER, m_keyPath.c_str(), name, RRF_RT_ANY, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
    }
    bool Read(const wchar_t* name, std::wstring& value) const
    {
        return RegStringValue(ERegOp::Read, m_keyPath, name, value);
    }
    bool Write(const wchar_t* name, std::wstring value) const
    {
        return RegStringValue(ERegOp::Write, m_keyPath, name, value);
    }
    bool Delete(const wchar_t* name) const
    {
        std::wstring unused;
        return RegStringValue(ERegOp::Delete, m_keyPath, name, unused);
    }

    std::wstring m_keyPath;
};

} // namespace

TEST_F(RegistryTest, AKeyWithAndWithoutTheTrailingBackslashIsTheSameKey)
{
    std::wstring value = L"C:\\Games\\Korvane.exe";
    ASSERT_TRUE(RegStringValue(ERegOp::Write, m_keyPath, L"Path", value));
    std::wstring read;
    ASSERT_TRUE(RegStringValue(ERegOp::Read, m_keyPath + L"\\", L"Path", read));
    EXPECT_EQ(read, value);

    std::wstring other = L"D:\\Other";
    ASSERT_TRUE(RegStringValue(ERegOp::Write, m_keyPath + L"\\", L"Path", other));
    ASSERT_TRUE(Read(L"Path", read));
    EXPECT_EQ(read, other);
    std::wstring unused;
    EXPECT_TRUE(RegStringValue(ERegOp::Delete, m_keyPath + L"\\", L"Path", unused));
    EXPECT_FALSE(ValueExists(L"Path"));
}

TEST_F(RegistryTest, WritesAreReadBackIncludingTheDefaultValueAndEmptyText)
{
    EXPECT_TRUE(Write(L"", L"default text"));
    EXPECT_TRUE(Write(L"Empty", L""));
    EXPECT_TRUE(Write(L"Chinese", L"Korvane下载器"));
    std::wstring read = L"untouched";
    ASSERT_TRUE(Read(L"", read));
    EXPECT_EQ(read, L"default text");
    ASSERT_TRUE(Read(L"Empty", read));
    EXPECT_EQ(read, L"");
    ASSERT_TRUE(Read(L"Chinese", read));
    EXPECT_EQ(read, L"Korvane下载器");

    DWORD type = REG_NONE;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, m_keyPath.c_str(), L"Chinese", RRF_RT_ANY, &type, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
}

TEST_F(RegistryTest, OnlyProperlyTerminatedStringsAreReadAndOnlyThoseAreDeleted)
{
    const DWORD number = 7;
    SetRaw(L"Number", REG_DWORD, &number, sizeof(number));
    const wchar_t expand[] = L"%TEMP%\\x";
    SetRaw(L"Expand", REG_EXPAND_SZ, expand, sizeof(expand));
    const wchar_t multi[] = L"one\0two\0";
    SetRaw(L"Multi", REG_MULTI_SZ, multi, sizeof(multi));
    const wchar_t unterminated[] = {L'a', L'b'};
    SetRaw(L"Unterminated", REG_SZ, unterminated, sizeof(unterminated));
    const char odd[] = {'a', 0, 0};
    SetRaw(L"OddSize", REG_SZ, odd, sizeof(odd));
    SetRaw(L"NoData", REG_BINARY, nullptr, 0);

    std::wstring read = L"kept";
    EXPECT_FALSE(Read(L"Number", read));
    EXPECT_FALSE(Read(L"Unterminated", read));
    EXPECT_FALSE(Read(L"OddSize", read));
    EXPECT_FALSE(Read(L"Missing", read));
    EXPECT_EQ(read, L"kept");
    ASSERT_TRUE(Read(L"Expand", read));
    EXPECT_EQ(read, L"%TEMP%\\x");
    ASSERT_TRUE(Read(L"Multi", read));
    EXPECT_EQ(read, L"one");
    EXPECT_TRUE(Read(L"NoData", read));
    EXPECT_EQ(read, L"");

    EXPECT_FALSE(Delete(L"Number"));
    EXPECT_TRUE(ValueExists(L"Number"));
    EXPECT_FALSE(Delete(L"Unterminated"));
    EXPECT_TRUE(ValueExists(L"Unterminated"));
    EXPECT_FALSE(Delete(L"Missing"));
    EXPECT_TRUE(Delete(L"Expand"));
    EXPECT_FALSE(ValueExists(L"Expand"));
}

TEST_F(RegistryTest, TextOf256CharactersIsWrittenButNeverReadBackNorDeleted)
{
    const std::wstring longest(255, L'x');
    const std::wstring tooLong(256, L'y');
    EXPECT_TRUE(Write(L"Longest", longest));
    EXPECT_TRUE(Write(L"TooLong", tooLong));

    std::wstring read;
    ASSERT_TRUE(Read(L"Longest", read));
    EXPECT_EQ(read, longest);
    EXPECT_FALSE(Read(L"TooLong", read));
    EXPECT_FALSE(Delete(L"TooLong"));
    EXPECT_TRUE(ValueExists(L"TooLong"));
}

TEST_F(RegistryTest, AMissingKeyIsCreatedAndAnEmptyKeyPathOrUnknownOperationFails)
{
    std::wstring value = L"v";
    const std::wstring nested = m_keyPath + L"\\New\\Deeper";
    EXPECT_TRUE(RegStringValue(ERegOp::Write, nested, L"Name", value));
    std::wstring read;
    ASSERT_TRUE(RegStringValue(ERegOp::Read, nested, L"Name", read));
    EXPECT_EQ(read, L"v");

    EXPECT_FALSE(RegStringValue(ERegOp::Write, L"", L"Name", value));
    EXPECT_FALSE(RegStringValue(static_cast<ERegOp>(4), m_keyPath, L"Name", value));
    EXPECT_FALSE(RegStringValue(static_cast<ERegOp>(0), m_keyPath, L"Name", value));
}
