#include "settings/AtomicFile.h"

#include "settings/SimpleFile.h"

#include <windows.h>

#include <climits>

namespace {

bool WriteWholeFile(const std::wstring& path, const std::string& bytes)
{
    if (bytes.size() > ULONG_MAX)
        return false;
    CSimpleFile file;
    return file.Create(path) == 0 &&
           file.Append(bytes.data(), static_cast<DWORD>(bytes.size())) == 0 && file.Flush() == 0;
}

bool ReplaceByMove(const std::wstring& temporary, const std::wstring& target)
{
    return ::MoveFileExW(temporary.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

} // namespace

bool WriteFileAtomically(const std::wstring& path, const std::string& bytes)
{
    const std::wstring temporary = path + L".tmp";
    if (WriteWholeFile(temporary, bytes) && ReplaceByMove(temporary, path))
        return true;
    ::DeleteFileW(temporary.c_str());
    return false;
}
