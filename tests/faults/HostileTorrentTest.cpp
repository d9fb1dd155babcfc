// Torrents whose file names try to reach outside the download folder, name
// devices, run past MAX_PATH or come by the ten thousand, downloaded by the
// real kernel library from an HTTP seed of the test's own. Whatever the
// torrent says, nothing appears outside the download folder, and the
// download either completes with files every program can open or stops in
// the error state with a text.
#include "WebSeed.h"

#include "KernelEnvironment.h"
#include "TorrentMaker.h"

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <iostream>
#include <set>

namespace {

using namespace std::chrono_literals;

const std::string kContent = "Korvane game data, the same in every file of these torrents.\n";

// The files below `folder`, by their paths relative to it.
void ListFiles(const std::wstring& folder, const std::wstring& prefix, std::vector<std::wstring>& files)
{
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((L"\\\\?\\" + folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        files.push_back(prefix + name + ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? L"\\" : L""));
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(folder + L"\\" + name, prefix + name + L"\\", files);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

std::vector<std::wstring> FilesIn(const std::wstring& folder)
{
    std::vector<std::wstring> entries, files;
    ListFiles(folder, L"", entries);
    for (const std::wstring& entry : entries)
        if (entry.back() != L'\\')
            files.push_back(entry);
    return files;
}

// Read as a player's program would: through an ordinary path while it is
// short enough for one, where a device name would open the device.
std::string ReadAsAProgramWould(const std::wstring& path)
{
    const std::wstring usable = path.size() < MAX_PATH ? path : L"\\\\?\\" + path;
    CUniqueHandle file(::CreateFileW(usable.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    if (!file)
        return "<cannot open>";
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK)
        return "<a device>";
    std::string bytes(4096, '\0');
    DWORD read = 0;
    ::ReadFile(file.Get(), bytes.data(), DWORD(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

bool EscapeMarkFoundIn(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder + L"\\*korvane-escape*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    ::FindClose(search);
    return true;
}

// A download folder with neighbours that must stay as they were: a
// sentinel folder beside it, and the torrent and state file.
class Arena {
public:
    Arena()
    {
        ::CreateDirectoryW(DownloadDir().c_str(), nullptr);
        ::CreateDirectoryW(m_root.File(L"sentinel").c_str(), nullptr);
        m_root.Write(L"sentinel\\keep.txt", "the player's own file");
    }

    std::wstring DownloadDir() const { return m_root.File(L"download"); }
    std::wstring TorrentPath() const { return m_root.File(L"game.torrent"); }
    void WriteTorrent(const std::string& bytes) const { m_root.Write(L"game.torrent", bytes); }

    void ExpectNothingWrittenOutside() const
    {
        std::vector<std::wstring> entries;
        ListFiles(m_root.Path(), L"", entries);
        std::set<std::wstring> outside;
        for (const std::wstring& entry : entries)
            if (entry.rfind(L"download\\", 0) != 0 || entry == L"download\\")
                outside.insert(entry);
        outside.erase(L"game.torrent.dlbt"); // the kernel's state file, where the program asks for it
        EXPECT_EQ(outside, (std::set<std::wstring>{L"download\\", L"game.torrent", L"sentinel\\",
                                                    L"sentinel\\keep.txt"}));
        EXPECT_EQ(m_root.Read(L"sentinel\\keep.txt"), "the player's own file");

        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        for (const std::wstring& folder : {std::wstring(temp), std::wstring(L"C:"), std::wstring(L"Z:"),
                                           std::wstring(L"Z:\\tmp")})
            EXPECT_FALSE(EscapeMarkFoundIn(folder)) << "a file escaped to " << std::string(folder.begin(), folder.end());
    }

private:
    TempDir m_root;
};

struct SOutcome {
    bool created = false;
    bool completed = false;
    std::string error;                   // the kernel's text in the error state
    std::vector<std::wstring> reported;  // every file's path as the kernel reports it
    size_t onDiskWhenComplete = 0;       // files found the moment it said complete
};

// Downloads the torrent into the arena's folder from `seed`, as the program
// does (state file beside the torrent, the root name when given), until it
// completes or fails.
SOutcome Download(const Arena& arena, const std::string& torrent, const CWebSeed& seed,
                  const wchar_t* rootName = nullptr, int lanes = 1, std::chrono::seconds limit = 120s)
{
    arena.WriteTorrent(torrent);
    KernelApi& kernel = TheKernel();
    SOutcome outcome;
    const std::wstring stateFile = arena.TorrentPath() + L".dlbt";
    DLBT_DOWNLOADER downloader = kernel.Initialize(arena.TorrentPath().c_str(), arena.DownloadDir().c_str(),
                                                   stateFile.c_str(), 1, FALSE, FALSE, nullptr, rootName,
                                                   rootName ? 1 : 0, 0);
    if (!downloader)
        return outcome;
    outcome.created = true;
    for (int lane = 0; lane < lanes; ++lane)
        kernel.AddHttpDownload(downloader, seed.Url(lane).c_str());
    DLBT_DOWNLOADER_INFO info{};
    WaitFor([&] {
        info = kernel.Info(downloader);
        return IsDone(info.state) || info.state == DLBT_STATE_ERROR;
    }, limit);
    outcome.completed = IsDone(info.state);
    // A program starts the game the moment the kernel says complete.
    if (outcome.completed)
        outcome.onDiskWhenComplete = FilesIn(arena.DownloadDir()).size();
    if (info.state == DLBT_STATE_ERROR) {
        char text[1024] = {};
        int length = sizeof text;
        kernel.GetLastError(downloader, text, &length);
        outcome.error = text;
    }
    for (int index = 0, count = kernel.GetFileCount(downloader); index < count; ++index) {
        std::vector<wchar_t> path(4096);
        int length = int(path.size());
        if (kernel.GetFilePathName(downloader, index, path.data(), &length, FALSE) == DLBT_OK)
            outcome.reported.push_back(path.data());
    }
    kernel.Release(downloader, 0);
    return outcome;
}

std::vector<STorrentFile> FilesAt(const std::vector<std::vector<std::string>>& paths)
{
    std::vector<STorrentFile> files;
    for (const auto& path : paths)
        files.push_back({path, kContent});
    return files;
}

// Every file the kernel reports lies inside the folder and holds the
// content, and nothing else is there.
void ExpectCompleteInside(const Arena& arena, const SOutcome& outcome, size_t fileCount)
{
    ASSERT_TRUE(outcome.created);
    ASSERT_TRUE(outcome.completed) << "error: " << outcome.error;
    ASSERT_EQ(outcome.reported.size(), fileCount);
    const std::vector<std::wstring> onDisk = FilesIn(arena.DownloadDir());
    EXPECT_EQ(std::set<std::wstring>(onDisk.begin(), onDisk.end()),
              std::set<std::wstring>(outcome.reported.begin(), outcome.reported.end()));
    for (const std::wstring& file : outcome.reported) {
        SCOPED_TRACE(std::string(file.begin(), file.end()));
        EXPECT_EQ(file.find(L':'), std::wstring::npos);
        EXPECT_EQ((L"\\" + file + L"\\").find(L"\\..\\"), std::wstring::npos);
        EXPECT_EQ(ReadAsAProgramWould(arena.DownloadDir() + L"\\" + file), kContent);
    }
    arena.ExpectNothingWrittenOutside();
}

const std::vector<std::vector<std::string>> kEscapingPaths = {
    {"..", "..", "korvane-escape-up2.txt"},
    {"..", "korvane-escape-up1.txt"},
    {"sub", "..", "..", "korvane-escape-back.txt"},
    {"C:\\korvane-escape-drive.txt"},
    {"c:korvane-escape-drive-relative.txt"},
    {"C:", "korvane-escape-drive-element.txt"},
    {"/korvane-escape-absolute.txt"},
    {"\\\\?\\C:\\korvane-escape-unc.txt"},
    {"..\\..\\korvane-escape-backslashes.txt"},
    {"", "korvane-escape-empty-element.txt"},
    {"Z:", "tmp", "korvane-escape-z.txt"},
    {"a.txt:korvane-escape-stream"},
};

const std::vector<std::vector<std::string>> kDevicePaths = {
    {"CON"}, {"NUL"}, {"COM1"}, {"lpt9.dat"}, {"aux.txt"}, {"Prn.tar.gz"},
    {"con "}, {"nul."}, {"CONOUT$"}, {"COM3", "inside-a-device-folder.txt"},
    {"_CON"}, {"folder. ", "file. . "}, {"trailing space "},
};

} // namespace

TEST(HostileTorrent, NamesThatPointOutsideLandInsideTheDownloadFolder)
{
    CWebSeed seed(kContent);
    // As the program starts it (the folder's last name as the root) and
    // with the torrent's own root, itself named "..".
    for (const wchar_t* root : {L"Korvane", static_cast<const wchar_t*>(nullptr)}) {
        SCOPED_TRACE(root ? "with a root name" : "under the torrent's own root");
        Arena arena;
        const SOutcome outcome = Download(arena, MakeTorrent("..", FilesAt(kEscapingPaths)), seed, root);
        ExpectCompleteInside(arena, outcome, kEscapingPaths.size());
    }
}

TEST(HostileTorrent, DeviceNamesAndTrailingDotsBecomeOrdinaryFiles)
{
    CWebSeed seed(kContent);
    Arena arena;
    const SOutcome outcome = Download(arena, MakeTorrent("KorvaneGame", FilesAt(kDevicePaths)), seed, L"Korvane");
    ExpectCompleteInside(arena, outcome, kDevicePaths.size());
    for (const std::wstring& file : outcome.reported)
        EXPECT_TRUE(file.back() != L'.' && file.back() != L' ') << std::string(file.begin(), file.end());
}

TEST(HostileTorrent, SingleFileTorrentsNamedToEscape)
{
    CWebSeed seed(kContent);
    for (const char* name : {"..\\..\\korvane-escape-single.bin", "C:\\korvane-escape-single.bin",
                             "/korvane-escape-single.bin", "CON", "aux.txt", "nul. "}) {
        SCOPED_TRACE(name);
        Arena arena;
        const SOutcome outcome = Download(arena, MakeTorrent(name, {{{}, kContent}}), seed);
        ExpectCompleteInside(arena, outcome, 1);
    }
    // A file named only ".." has no name left: the kernel refuses the
    // torrent (the program shows that the download could not start).
    Arena arena;
    EXPECT_FALSE(Download(arena, MakeTorrent("..", {{{}, kContent}}), seed).created);
    arena.ExpectNothingWrittenOutside();
}

TEST(HostileTorrent, NamesAndPathsFarBeyondMaxPath)
{
    CWebSeed seed(kContent);
    const std::string longName(230, 'k');
    std::vector<std::vector<std::string>> paths = {
        {std::string(400, 'n') + ".dat"},                               // one name longer than a file system allows
        {longName, longName, longName, longName, "deep.txt"},           // a path of about 940 characters
    };
    Arena arena;
    const SOutcome outcome = Download(arena, MakeTorrent("KorvaneGame", FilesAt(paths)), seed, L"Korvane");
    ExpectCompleteInside(arena, outcome, paths.size());
    for (const std::wstring& file : outcome.reported) {
        size_t start = 0;
        for (size_t end; (end = file.find(L'\\', start)) != std::wstring::npos; start = end + 1)
            EXPECT_LE(end - start, 255u);
        EXPECT_LE(file.size() - start, 255u) << "a name longer than the file system takes";
    }
}

// Files whose names are one place on Windows: the same name twice (in
// several letter cases), names equal only beyond ASCII's letter case, a
// device name beside its renamed form, names equal after the cut to the
// file system's length, and a file where another file's folder is. Each
// lands in a file of its own, at the path the kernel reports, and verifies.
TEST(HostileTorrent, NamesThatCollideLandInFilesOfTheirOwn)
{
    std::string content(51200, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>('a' + (i * 7 + i / 97) % 26);
    const std::string longName(300, 'L');
    const std::vector<std::pair<std::vector<std::string>, size_t>> collisions = {
        {{"bar.txt"}, 51200},
        {{"bar.txt"}, 14336},
        {{"BAR.txt"}, 999},
        {{"\xC3\x84rger.txt"}, 4000},          // Ärger.txt
        {{"\xC3\xA4rger.txt"}, 4001},          // ärger.txt
        {{"CON.dat"}, 3000},
        {{"_con.dat"}, 3001},
        {{longName + "1.dat"}, 2000},
        {{longName + "2.dat"}, 2001},
        {{"data"}, 1500},
        {{"DATA", "inside.bin"}, 1501},
    };
    std::vector<STorrentFile> files;
    for (const auto& collision : collisions)
        files.push_back({collision.first, content.substr(0, collision.second)});
    CWebSeed seed(content);
    for (const wchar_t* root : {L"Korvane", static_cast<const wchar_t*>(nullptr)}) {
        SCOPED_TRACE(root ? "with a root name" : "under the torrent's own root");
        Arena arena;
        const SOutcome outcome = Download(arena, MakeTorrent("Colliding", files), seed, root);
        ASSERT_TRUE(outcome.completed) << outcome.error;
        ASSERT_EQ(outcome.reported.size(), files.size());
        EXPECT_EQ(FilesIn(arena.DownloadDir()).size(), files.size()) << "two files share one place";
        for (size_t i = 0; i < files.size(); ++i) {
            SCOPED_TRACE(std::string(outcome.reported[i].begin(), outcome.reported[i].end()));
            const std::wstring path = arena.DownloadDir() + L"\\" + outcome.reported[i];
            WIN32_FILE_ATTRIBUTE_DATA data{};
            ::GetFileAttributesExW((L"\\\\?\\" + path).c_str(), GetFileExInfoStandard, &data);
            EXPECT_EQ(data.nFileSizeLow, files[i].content.size());
            EXPECT_TRUE(ReadAsAProgramWould(path) == files[i].content.substr(0, 4096)) << "not file " << i;
        }
        arena.ExpectNothingWrittenOutside();
    }
}

TEST(HostileTorrent, TensOfThousandsOfFiles)
{
    const int kFiles = 20000;
    const std::string content = "k";
    std::vector<STorrentFile> files;
    for (int i = 0; i < kFiles; ++i)
        files.push_back({{"d" + std::to_string(i % 100), "f" + std::to_string(i) + ".dat"}, content});
    CWebSeed seed(content);
    Arena arena;
    const auto started = std::chrono::steady_clock::now();
    const SOutcome outcome = Download(arena, MakeTorrent("ManyFiles", files, 16384), seed, L"Korvane", 8, 300s);
    ASSERT_TRUE(outcome.completed) << outcome.error;
    EXPECT_EQ(outcome.reported.size(), size_t(kFiles));
    EXPECT_EQ(outcome.onDiskWhenComplete, size_t(kFiles));
    EXPECT_EQ(FilesIn(arena.DownloadDir()).size(), size_t(kFiles));
    arena.ExpectNothingWrittenOutside();
    std::cout << "20000 files downloaded in "
              << std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started).count()
              << " s\n";
}
