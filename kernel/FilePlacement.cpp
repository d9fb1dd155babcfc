#include "FilePlacement.h"

#include <libtorrent/file_storage.hpp>

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
    std::vector<std::vector<std::string>> elements;
    std::vector<bool> renamed;
    for (const lt::file_index_t index : files.file_range()) {
        elements.push_back(Elements(files.file_path(index)));
        if (newRoot)
            elements.back().front() = root;
        renamed.push_back(RenameDevices(elements.back()));
    }

    // A renamed file must not take the place of another file of the torrent
    // (a torrent may hold both "CON" and "_CON"): more "_" until it is free.
    std::unordered_set<std::string> taken;
    for (size_t i = 0; i < elements.size(); ++i)
        if (!renamed[i])
            taken.insert(AsciiLower(Joined(elements[i])));
    std::vector<std::string> paths;
    for (size_t i = 0; i < elements.size(); ++i) {
        std::string path = Joined(elements[i]);
        if (renamed[i]) {
            while (!taken.insert(AsciiLower(path)).second) {
                elements[i].back().insert(0, 1, '_');
                path = Joined(elements[i]);
            }
        }
        paths.push_back(std::move(path));
    }
    return paths;
}

} // namespace kernel
