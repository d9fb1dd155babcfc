#include "SkinResources.h"

#include "SkinRenderer.h"
#include "ZipArchive.h"

#include "util/UniqueHandle.h"

#include <objidl.h>
#include <gdiplus.h>
#include <shlwapi.h>

#include <map>
#include <memory>
#include <vector>

namespace uitk {
namespace {

struct SkinSource {
    HINSTANCE instance = nullptr;
    std::wstring resourcePath;
    CZipArchive archive;
    std::vector<char> archiveCopy;
    // Decoded from the current source; a missing image is remembered too,
    // so it is not searched on every paint.
    std::map<std::wstring, std::unique_ptr<Gdiplus::Bitmap>> images;
};

SkinSource& Source()
{
    static SkinSource source;
    return source;
}

std::unique_ptr<Gdiplus::Bitmap> DecodeImage(const std::string& bytes)
{
    if (bytes.empty() || !CSkinRenderer::StartGdiplus())
        return nullptr;
    IStream* stream = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), UINT(bytes.size()));
    if (!stream)
        return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream));
    std::unique_ptr<Gdiplus::Bitmap> copy;
    // A premultiplied copy draws fastest and frees the stream at once.
    if (decoded && decoded->GetLastStatus() == Gdiplus::Ok) {
        copy = std::make_unique<Gdiplus::Bitmap>(int(decoded->GetWidth()), int(decoded->GetHeight()),
                                                 PixelFormat32bppPARGB);
        Gdiplus::Graphics graphics(copy.get());
        graphics.DrawImage(decoded.get(), 0, 0, int(decoded->GetWidth()), int(decoded->GetHeight()));
    }
    decoded.reset();
    stream->Release();
    if (copy && copy->GetLastStatus() != Gdiplus::Ok)
        copy.reset();
    return copy;
}

bool ReadFolderFile(const std::wstring& path, std::string& bytes)
{
    CUniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > 64 * 1024 * 1024)
        return false;
    bytes.resize(size_t(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!::ReadFile(file.Get(), bytes.data(), DWORD(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
        bytes.clear();
        return false;
    }
    return true;
}

} // namespace

HINSTANCE CSkinResources::GetInstance()
{
    HINSTANCE instance = Source().instance;
    return instance ? instance : ::GetModuleHandleW(nullptr);
}

void CSkinResources::SetInstance(HINSTANCE instance)
{
    Source().instance = instance;
}

std::wstring CSkinResources::GetInstancePath()
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameW(GetInstance(), path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

const std::wstring& CSkinResources::GetResourcePath()
{
    return Source().resourcePath;
}

void CSkinResources::SetResourcePath(const std::wstring& path)
{
    SkinSource& source = Source();
    source.resourcePath = path;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/')
        source.resourcePath += L'\\';
    source.images.clear();
}

bool CSkinResources::SetResourceZip(const void* data, size_t size)
{
    Source().images.clear();
    return Source().archive.Open(data, size);
}

bool CSkinResources::SetResourceZipFromResource(UINT id, const wchar_t* type)
{
    HINSTANCE instance = GetInstance();
    HRSRC found = ::FindResourceW(instance, MAKEINTRESOURCEW(id), type);
    HGLOBAL loaded = found ? ::LoadResource(instance, found) : nullptr;
    DWORD size = found ? ::SizeofResource(instance, found) : 0;
    const char* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    if (!bytes || size == 0)
        return false;
    std::vector<char>& copy = Source().archiveCopy;
    copy.assign(bytes, bytes + size);
    return SetResourceZip(copy.data(), copy.size());
}

bool CSkinResources::HasResourceZip()
{
    return Source().archive.IsOpen();
}

bool CSkinResources::ReadSkinFile(const std::wstring& name, std::string& bytes)
{
    bytes.clear();
    if (name.empty())
        return false;
    if (HasResourceZip())
        return Source().archive.Read(name, bytes);
    return ReadFolderFile(GetResourcePath() + name, bytes);
}

Gdiplus::Bitmap* CSkinResources::GetImage(const std::wstring& name)
{
    auto& images = Source().images;
    auto it = images.find(name);
    if (it != images.end())
        return it->second.get();
    std::string bytes;
    std::unique_ptr<Gdiplus::Bitmap> image;
    if (ReadSkinFile(name, bytes))
        image = DecodeImage(bytes);
    return (images[name] = std::move(image)).get();
}

} // namespace uitk
