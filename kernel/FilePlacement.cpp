#include "FilePlacement.h"

#include "KernelText.h"

#include <libtorrent/file_storage.hpp>

#include <windows.h>

#include <algorithm>
#include <unordered_set>

namespace kernel {
namespace {

const char kSeparator = '\\';

std::string AsciiLower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::vector<std::string> Elements(const std::string& path)
{
    std::vector<std::string> elements(1);
    for (const char c : path) {
        if (c == '\\' || c == '/')
            elements.emplace_back();
        else
            elements.back() += c;
    }
    return elements;
}

std::string Joined(const std::vector<std::string>& elements)
{
    std::string path;
    for (const std::string& element : elements) {
        if (!path.empty())
            path += kSeparator;
        path += element;
    }
    return path;
}

// The elements that are devices get a "_" in front. True when one did.
bool RenameDevices(std::vector<std::string>& elements)
{
    bool renamed = false;
    for (std::string& element : elements) {
        if (IsDeviceName(element)) {
            element.insert(0, 1, '_');
            renamed = true;
        }
    }
    return renamed;
}

struct SPlacedFile {
    std::vector<std::string> elements;
    bool renamed = false; // by the device rule
    bool pad = false;     // never written
};

// How Windows compares names: without regard to letter case, in every
// script, not only in ASCII as libtorrent does.
std::wstring PlaceKey(const std::vector<std::string>& elements, size_t count)
{
    const std::wstring path = Utf8ToWide(Joined(std::vector<std::string>(elements.begin(), elements.begin() + count)));
    if (path.empty())
        return path;
    std::wstring key(path.size(), L'\0');
    const int size = static_cast<int>(path.size());
    if (::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, path.data(), size, &key[0], size) != size)
        return path;
    return key;
}

// "name.ext" becomes "name.1.ext", as libtorrent names its own duplicates.
std::string Numbered(const std::string& name, int number)
{
    const size_t dot = name.rfind('.');
    const size_t at = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, at) + "." + std::to_string(number) + name.substr(at);
}

// No two files may share a place on disk, nor a file take the place of a
// folder: they would be one file there, which can never verify. libtorrent
// has made the torrent's own names unique, but the device rule and
// Windows' wider sense of letter case can still make two places one. Files
// keep their names where they can, those the device rule renamed last; a
// file whose place is taken gets a number.
void KeepPlacesApart(std::vector<SPlacedFile>& placed)
{
    std::unordered_set<std::wstring> folders;
    for (const SPlacedFile& file : placed)
        for (size_t count = 1; !file.pad && count < file.elements.size(); ++count)
            folders.insert(PlaceKey(file.elements, count));

    std::vector<size_t> order;
    for (size_t i = 0; i < placed.size(); ++i)
        if (!placed[i].pad)
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return !placed[a].renamed && placed[b].renamed; });

    std::unordered_set<std::wstring> taken;
    for (const size_t i : order) {
        std::vector<std::string>& elements = placed[i].elements;
        const std::string name = elements.back();
        std::wstring key = PlaceKey(elements, elements.size());
        for (int number = 1; folders.count(key) || !taken.insert(key).second; ++number) {
            elements.back() = Numbered(name, number);
            key = PlaceKey(elements, elements.size());
        }
    }
}

} // namespace

bool IsDeviceName(const std::string& element)
{
    static const char* const kDevices[] = {"con", "prn", "aux", "nul", "clock$", "conin$", "conout$"};
    std::string base = AsciiLower(element.substr(0, element.find('.')));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    if (std::find(std::begin(kDevices), std::end(kDevices), base) != std::end(kDevices))
        return true;
    // COM0 to COM9 and LPT0 to LPT9, also with the superscript digits 1, 2
    // and 3 (UTF-8 C2 B9, C2 B2, C2 B3).
    const std::string prefix = base.substr(0, 3);
    if (prefix != "com" && prefix != "lpt")
        return false;
    const std::string digit = base.substr(3);
    return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" ||
           digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

std::vector<std::string> PlacedPaths(const lt::file_storage& files, const std::string& root)
{
    const bool newRoot = !root.empty() && files.num_files() > 1;
    std::vector<SPlacedFile> placed;
    for (const lt::file_index_t index : files.file_range()) {
        SPlacedFile file;
        file.elements = Elements(files.file_path(index));
        if (newRoot)
            file.elements.front() = root;
        file.renamed = RenameDevices(file.elements);
        file.pad = files.pad_file_at(index);
        placed.push_back(std::move(file));
    }
    KeepPlacesApart(placed);

    std::vector<std::string> paths;
    for (const SPlacedFile& file : placed)
        paths.push_back(Joined(file.elements));
    return paths;
}

} // namespace kernel
