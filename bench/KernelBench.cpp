// Downloads one torrent through DLBT.dll and reports how it went, for the
// kernel benchmark and for looking at the kernel's rate over time.
//
//   kernel_bench TORRENT FOLDER [--tracker URL] [--webseed URL]
//                [--limit BYTES_PER_SECOND] [--tcp-only] [--trace MS]
//                [--timeout SECONDS]
//
// With --trace, prints "at SECONDS VERIFIED VERIFIED_RATE RECEIVE_RATE PEERS"
// every MS milliseconds.
// Ends with "done SECONDS BYTES" and exit code 0 once complete, or
// "failed SECONDS BYTES STATE" and exit code 2.
#include "KernelApi.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

struct Options {
    std::wstring torrent, folder;
    std::string tracker, webSeed;
    int limit = 0;
    bool tcpOnly = false;
    int traceMs = 0;
    int timeoutSeconds = 600;
};

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

bool Parse(int argc, wchar_t** argv, Options& options)
{
    if (argc < 3)
        return false;
    options.torrent = argv[1];
    options.folder = argv[2];
    for (int i = 3; i < argc; ++i) {
        const std::wstring name = argv[i];
        if (name == L"--tcp-only") {
            options.tcpOnly = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const std::wstring value = argv[++i];
        if (name == L"--tracker")
            options.tracker = Narrow(value);
        else if (name == L"--webseed")
            options.webSeed = Narrow(value);
        else if (name == L"--limit")
            options.limit = std::stoi(value);
        else if (name == L"--trace")
            options.traceMs = std::stoi(value);
        else if (name == L"--timeout")
            options.timeoutSeconds = std::stoi(value);
        else
            return false;
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Options options;
    KernelApi kernel;
    if (!Parse(argc, argv, options) || !kernel.Load(KernelDllPath()))
        return 3;
    // The program's own start parameters, unless asked otherwise.
    DLBT_START_PARAMS params{1, options.tcpOnly ? 0u : 1u, 1, 0, 0, 29500, 29510};
    kernel.StartWithLimit(params, options.limit);
    DLBT_DOWNLOADER downloader = kernel.Initialize(options.torrent.c_str(), options.folder.c_str(), L"", 1, FALSE,
                                                   FALSE, nullptr, nullptr, 1, 0);
    if (!downloader)
        return 2;
    if (!options.tracker.empty())
        kernel.AddTracker(downloader, options.tracker.c_str(), 0);
    if (!options.webSeed.empty())
        kernel.AddHttpDownload(downloader, options.webSeed.c_str());

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    const auto deadline = start + std::chrono::seconds(options.timeoutSeconds);
    auto lastTrace = start;
    uint64_t lastBytes = 0;
    DLBT_DOWNLOADER_INFO info{};
    uint64_t mostBuffered = 0; // the disk back-end's pieces in memory
    int result = 2;
    while (Clock::now() < deadline) {
        kernel.GetDownloaderInfo(downloader, &info);
        DLBT_KERNEL_INFO load{};
        if (kernel.GetKernelInfo(&load))
            mostBuffered = std::max(mostBuffered, load.diskBufferedBytes);
        if (IsDone(info.state)) {
            result = 0;
            break;
        }
        if (info.state == DLBT_STATE_ERROR)
            break;
        const auto now = Clock::now();
        if (options.traceMs > 0 && now - lastTrace >= std::chrono::milliseconds(options.traceMs)) {
            const double span = std::chrono::duration<double>(now - lastTrace).count();
            std::printf("at %.2f %llu %.0f %d %d\n", seconds(), static_cast<unsigned long long>(info.downloaded),
                        static_cast<double>(info.downloaded - lastBytes) / span, info.downloadSpeed, info.peers);
            std::fflush(stdout);
            lastTrace = now;
            lastBytes = info.downloaded;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::printf("buffered %.1f\n", static_cast<double>(mostBuffered) / (1024 * 1024));
    std::printf("%s %.3f %llu %d\n", result == 0 ? "done" : "failed", seconds(),
                static_cast<unsigned long long>(info.downloaded), info.state);
    std::fflush(stdout);
    kernel.Release(downloader, 0);
    kernel.Shutdown();
    return result;
}
