#include "support/TempDir.h"

#include <windows.h>

#include <fstream>
#include <iterator>

void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                ::DeleteFileW(path.c_str());
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    ::SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(folder.c_str());
}

TempDir::TempDir()
{
    wchar_t base[MAX_PATH];
    ::GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        m_path = std::wstring(base) + L"korvane-test-" + std::to_wstring(::GetCurrentProcessId()) +
                 L"-" + std::to_wstring(++counter);
        if (::CreateDirectoryW(m_path.c_str(), nullptr))
            break;
    }
}

TempDir::~TempDir() { RemoveTree(m_path); }

void TempDir::Write(const std::wstring& name, const std::string& bytes) const
{
    std::ofstream out(File(name).c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool TempDir::Exists(const std::wstring& name) const
{
    return ::GetFileAttributesW(File(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string TempDir::Read(const std::wstring& name) const
{
    std::ifstream in(File(name).c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

CurrentDirScope::CurrentDirScope(const std::wstring& folder)
{
    wchar_t previous[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    m_previous = previous;
    ::SetCurrentDirectoryW(folder.c_str());
}

CurrentDirScope::~CurrentDirScope() { ::SetCurrentDirectoryW(m_previous.c_str()); }
