#pragma once

#include <string>

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& Path() const { return m_path; } // ends without a backslash
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

    void Write(const std::wstring& name, const std::string& bytes) const;
    bool Exists(const std::wstring& name) const;
    std::string Read(const std::wstring& name) const; // empty when missing

private:
    std::wstring m_path;
};

// Removes `folder` with everything in it, read-only files included.
void RemoveTree(const std::wstring& folder);

// Runs the test body with this folder as the process's working folder.
class CurrentDirScope {
public:
    explicit CurrentDirScope(const std::wstring& folder);
    ~CurrentDirScope();

private:
    std::wstring m_previous;
};
