#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace Gdiplus {
class Bitmap;
}

namespace uitk {

// What every skinned window of the process shares: the module whose windows
// and resources the toolkit uses, where skin files come from (an in-memory
// zip archive, else a folder), and the images decoded from them.
class CSkinResources {
public:
    CSkinResources() = delete;

    static HINSTANCE GetInstance();
    static void SetInstance(HINSTANCE instance);
    static std::wstring GetInstancePath(); // the executable's folder, ending in "\"
    static const std::wstring& GetResourcePath();
    static void SetResourcePath(const std::wstring& path);
    // Skin files are read from this archive from now on; the bytes must live
    // as long as the process uses the skin.
    static bool SetResourceZip(const void* data, size_t size);
    // The same with the archive held in a resource of the module; its bytes
    // are copied into a buffer that lives until the process ends.
    static bool SetResourceZipFromResource(UINT id, const wchar_t* type);
    static bool HasResourceZip();
    static bool ReadSkinFile(const std::wstring& name, std::string& bytes);
    // The skin image of that name, decoded once; null when it is missing or
    // not an image.
    static Gdiplus::Bitmap* GetImage(const std::wstring& name);
};

} // namespace uitk
