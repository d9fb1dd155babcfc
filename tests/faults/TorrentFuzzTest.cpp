// Torrent loading under random input, through the kernel library's exports
// as the program calls them: a damaged torrent file is refused with a null
// handle or becomes a downloader whose files all lie inside the folder.
#include "Fuzz.h"
#include "KernelEnvironment.h"
#include "TorrentMaker.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>

namespace {

std::vector<std::string> Samples()
{
    const std::string data(40000, 'k');
    return {
        MakeTorrent("korvane_patch.bin", {{{}, data}}),
        MakeTorrent("KorvaneGame", {{{"bin", "game.exe"}, data.substr(0, 20000)},
                                    {{"data", "pack1.dat"}, data.substr(0, 30000)},
                                    {{"readme.txt"}, "read me"},
                                    {{"empty.dat"}, ""}}),
        MakeTorrent("..", {{{"..", "CON"}, "x"}, {{"C:\\x", "aux.txt"}, "y"}, {{"dir. ", "nul "}, "z"}}, 32768),
    };
}

// The element before its first dot, upper-cased and without trailing blanks.
std::wstring DeviceStem(std::wstring element)
{
    element = element.substr(0, element.find(L'.'));
    while (!element.empty() && element.back() == L' ')
        element.pop_back();
    for (wchar_t& c : element)
        c = wchar_t(std::towupper(c));
    return element;
}

bool IsDevice(const std::wstring& element)
{
    const std::wstring stem = DeviceStem(element);
    if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
           std::iswdigit(stem[3]);
}

void ExpectInsideTheFolder(const std::wstring& path)
{
    SCOPED_TRACE(std::string(path.begin(), path.end()));
    EXPECT_FALSE(path.empty());
    EXPECT_EQ(path.find_first_of(L":/"), std::wstring::npos);
    EXPECT_NE(path.front(), L'\\');
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(L'\\', start);
        const std::wstring element = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        EXPECT_NE(element, L"..");
        EXPECT_FALSE(IsDevice(element));
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
}

} // namespace

TEST(ParserFuzz, TorrentLoading)
{
    KernelApi& kernel = TheKernel();
    TempDir arena;
    const std::wstring torrentPath = arena.File(L"fuzz.torrent");
    const std::wstring folder = arena.File(L"download");
    ::CreateDirectoryW(folder.c_str(), nullptr);

    SFuzzTarget target;
    target.name = "torrent";
    target.samples = Samples();
    target.nestOpen = "l";
    target.nestClose = "e";
    target.check = [&](const std::string& input) {
        arena.Write(L"fuzz.torrent", input);
        DLBT_DOWNLOADER downloader = kernel.Initialize(torrentPath.c_str(), folder.c_str(), nullptr, 1, FALSE,
                                                       FALSE, nullptr, L"Korvane", 1, 0);
        if (!downloader)
            return;
        DLBT_DOWNLOADER_INFO info{};
        EXPECT_TRUE(kernel.GetDownloaderInfo(downloader, &info));
        const int count = kernel.GetFileCount(downloader);
        EXPECT_GT(count, 0);
        for (int index = 0; index < std::min(count, 200); ++index) {
            std::vector<wchar_t> path(8192);
            int length = int(path.size());
            ASSERT_EQ(kernel.GetFilePathName(downloader, index, path.data(), &length, FALSE), DLBT_OK);
            ExpectInsideTheFolder(path.data());
        }
        kernel.Release(downloader, 0);
    };
    RunFuzz(target);

    // Files the torrents named (empty ones are made at once) all went into
    // the download folder.
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(arena.File(L"*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    std::vector<std::wstring> names;
    do
        names.push_back(found.cFileName);
    while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L".", L"..", L"download", L"fuzz.torrent"}));
}
