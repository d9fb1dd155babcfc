// A second kernel in a process of its own, for what one process cannot do
// alone: be killed in the middle of a download, or fetch from the test's
// own kernel as a separate peer.
//
//   kernel_helper TORRENT FOLDER STATEFILE [--tracker URL] [--peer PORT]
//                 [--limit BYTES_PER_SECOND] [--progress FILE]
//
// Writes "downloaded total state" to the progress file as it goes and exits
// 0 once the download is complete, 2 on an error, 3 on bad arguments; it
// unloads the library before it ends, as the program does.
#include "KernelApi.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

struct Options {
    std::wstring torrent, folder, state, progress;
    std::string tracker;
    int peerPort = 0;
    int limit = 0;
};

bool Parse(int argc, wchar_t** argv, Options& options)
{
    if (argc < 4)
        return false;
    options.torrent = argv[1];
    options.folder = argv[2];
    options.state = argv[3];
    for (int i = 4; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i], value = argv[i + 1];
        if (name == L"--tracker")
            options.tracker.assign(value.begin(), value.end());
        else if (name == L"--peer")
            options.peerPort = std::stoi(value);
        else if (name == L"--limit")
            options.limit = std::stoi(value);
        else if (name == L"--progress")
            options.progress = value;
        else
            return false;
    }
    return true;
}

void WriteProgress(const std::wstring& path, const DLBT_DOWNLOADER_INFO& info)
{
    if (path.empty())
        return;
    const std::wstring temporary = path + L".tmp";
    if (FILE* file = _wfopen(temporary.c_str(), L"w")) {
        std::fprintf(file, "%llu %llu %d\n", static_cast<unsigned long long>(info.downloaded),
                     static_cast<unsigned long long>(info.totalSize), info.state);
        std::fclose(file);
        ::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Options options;
    KernelApi kernel;
    if (!Parse(argc, argv, options) || !kernel.Load(KernelDllPath()))
        return 3;
    DLBT_START_PARAMS params{1, 1, 1, 0, 0, 29400, 29410};
    kernel.StartWithLimit(params, options.limit);
    DLBT_DOWNLOADER downloader = kernel.Initialize(options.torrent.c_str(), options.folder.c_str(),
                                                   options.state.c_str(), 1, FALSE, FALSE, nullptr, nullptr, 1, 0);
    if (!downloader)
        return 2;
    if (!options.tracker.empty())
        kernel.AddTracker(downloader, options.tracker.c_str(), 0);
    if (options.peerPort)
        kernel.AddPeerSource(downloader, "127.0.0.1", static_cast<USHORT>(options.peerPort));

    int result = 2;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
    while (std::chrono::steady_clock::now() < deadline) {
        DLBT_DOWNLOADER_INFO info;
        kernel.GetDownloaderInfo(downloader, &info);
        WriteProgress(options.progress, info);
        if (IsDone(info.state)) {
            result = 0;
            break;
        }
        if (info.state == DLBT_STATE_ERROR)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kernel.Release(downloader, 0);
    kernel.Shutdown();
    kernel.Unload();
    return result;
}
