#include "util/AtomicFileWrite.h"

#include "util/PathText.h"
#include "util/UniqueHandle.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <memory>
#include <type_traits>

namespace {

const wchar_t kTemporarySuffix[] = L".part";

// Another program may hold the destination open for a moment without
// letting it be replaced: a virus scanner looking at a file just written, a
// reader of the old contents, or (under Wine) another replace of the same
// file looking at its target. Such a hold ends by itself; a lasting one
// (a folder, a file that is read-only) fails after about two seconds.
const int kReplaceAttempts = 10;
const DWORD kReplacePauseStepMs = 40;

// Unique per process and call: two writers of one destination, in this
// process or another, never share a temporary file.
std::wstring TemporaryNameBeside(const std::wstring& path)
{
    static std::atomic<unsigned> counter{0};
    return path + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter) + kTemporarySuffix;
}

bool WriteAll(HANDLE file, const void* data, size_t size)
{
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, next, piece, &written, nullptr) || written == 0)
            return false;
        next += written;
        size -= written;
    }
    return true;
}

bool WriteNewFile(const std::wstring& path, const void* data, size_t size)
{
    CUniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    return WriteAll(file.Get(), data, size) && ::FlushFileBuffers(file.Get());
}

bool IsPassingHold(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
}

bool MoveOver(const std::wstring& from, const std::wstring& to)
{
    for (int attempt = 1;; ++attempt) {
        if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        if (attempt == kReplaceAttempts || !IsPassingHold(::GetLastError()))
            return false;
        ::Sleep(kReplacePauseStepMs * static_cast<DWORD>(attempt));
    }
}

bool AllDigits(const std::wstring& text)
{
    return !text.empty() && text.size() <= 10 &&
           std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

// "<name>.<process>-<count>.part": the number of the process that wrote it,
// or 0 when `name` is not one of ours.
DWORD WriterOfTemporary(const std::wstring& name)
{
    const std::wstring suffix = kTemporarySuffix;
    if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return 0;
    const std::wstring stem = name.substr(0, name.size() - suffix.size());
    const size_t dot = stem.rfind(L'.');
    if (dot == std::wstring::npos)
        return 0;
    const std::wstring tag = stem.substr(dot + 1);
    const size_t dash = tag.find(L'-');
    if (dash == std::wstring::npos || !AllDigits(tag.substr(0, dash)) || !AllDigits(tag.substr(dash + 1)))
        return 0;
    return static_cast<DWORD>(std::wcstoul(tag.c_str(), nullptr, 10));
}

struct FindCloser {
    void operator()(HANDLE search) const { ::FindClose(search); }
};
using UniqueFindHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, FindCloser>;

} // namespace

bool WriteFileAtomically(const std::wstring& path, const void* data, size_t size)
{
    const std::wstring temporary = TemporaryNameBeside(path);
    if (WriteNewFile(temporary, data, size) && MoveOver(temporary, path))
        return true;
    ::DeleteFileW(temporary.c_str());
    return false;
}

int RemoveStaleTemporaryFiles(const std::wstring& folder)
{
    const std::wstring prefix = WithOneTrailingBackslash(folder);
    WIN32_FIND_DATAW found;
    const HANDLE first = ::FindFirstFileW((prefix + L"*" + kTemporarySuffix).c_str(), &found);
    if (first == INVALID_HANDLE_VALUE)
        return 0;
    const UniqueFindHandle search(first);
    int removed = 0;
    do {
        // A writer still at work is this process: the program runs once.
        const DWORD writer = WriterOfTemporary(found.cFileName);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && writer != 0 &&
            writer != ::GetCurrentProcessId() && ::DeleteFileW((prefix + found.cFileName).c_str()))
            ++removed;
    } while (::FindNextFileW(search.get(), &found));
    return removed;
}
