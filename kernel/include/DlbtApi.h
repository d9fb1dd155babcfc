#pragma once

// The kernel library's public face: the C records and functions that
// DLBT.dll exports. The program never links against the library; it loads it
// at run time and looks each function up by name, so this header is the one
// statement of the contract on both sides. Everything is called from one
// thread of the program; the kernel runs its own threads behind it.

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void* DLBT_DOWNLOADER; // opaque; null means none

// Start parameters: which transports and discovery services to use, and the
// range of listening ports (the kernel takes the first free one; the range
// may wrap past 65535).
typedef struct DLBT_START_PARAMS {
    uint32_t tcp;            // accept and open TCP peer connections
    uint32_t utp;            // accept uTP peer connections (opened only without TCP)
    uint32_t peerExchange;   // learn peers from peers
    uint32_t dht;            // join the DHT (only with a state file, see below)
    uint32_t localDiscovery; // announce on the local network
    uint16_t firstPort;
    uint16_t lastPort;
} DLBT_START_PARAMS;

enum DLBT_STATE {
    DLBT_STATE_INITIALISING = 0,
    DLBT_STATE_CHECKING = 1,
    DLBT_STATE_GETTING_TORRENT = 2,
    DLBT_STATE_DOWNLOADING = 3,
    DLBT_STATE_PAUSED = 4,
    DLBT_STATE_COMPLETE = 5,
    DLBT_STATE_SEEDING = 6,
    DLBT_STATE_ALLOCATING = 7,
    DLBT_STATE_ERROR = 8,
};

#define DLBT_UNKNOWN_SIZE UINT64_MAX

typedef struct DLBT_DOWNLOADER_INFO {
    int32_t state;               // DLBT_STATE
    int32_t peers;               // connected peers, url seeds included
    int32_t seeds;               // connected peers that have everything
    int32_t piecesDone;
    int32_t pieceCount;
    uint8_t reserved1[20];
    float percent;               // of the wanted bytes, 0 to 100
    uint8_t reserved2[4];
    int32_t downloadSpeed;       // payload bytes per second
    int32_t uploadSpeed;
    uint8_t reserved3[16];
    uint64_t downloaded;         // wanted bytes verified and on disk
    uint64_t uploaded;           // payload bytes sent in this session
    uint64_t wasted;             // bytes that failed verification or came twice
    uint8_t reserved4[48];
    uint64_t totalSize;          // DLBT_UNKNOWN_SIZE while undetermined
    uint8_t reserved5[24];
    char infoHash[41];           // v1 info-hash, 40 lowercase hex digits
    uint8_t reserved6[215];
} DLBT_DOWNLOADER_INFO;

typedef struct DLBT_KERNEL_INFO {
    uint32_t downloadSpeed;
    uint32_t uploadSpeed;
    uint32_t downloaderCount;
    uint16_t listenPort;         // 0 when not listening
    uint16_t reserved1;
    uint64_t totalDownloaded;    // payload bytes since start-up
    uint64_t reserved2;
    uint64_t totalUploaded;      // payload bytes since start-up
    uint64_t diskBufferedBytes;  // pieces being downloaded, held in memory until written whole
    uint64_t diskPiecesInFlight;
} DLBT_KERNEL_INFO;

// Result codes of the text queries.
#define DLBT_OK 0
#define DLBT_ERROR_INVALID_HANDLE 1
#define DLBT_ERROR_BUFFER_TOO_SMALL 2
#define DLBT_ERROR_INVALID_ARGUMENT 3

#ifdef DLBT_BUILDING_KERNEL
#define DLBT_API __declspec(dllexport)
#else
#define DLBT_API
#endif

// Kernel. Startup's second and third arguments are reserved: null and 0.
DLBT_API BOOL WINAPI DLBT_Startup(const DLBT_START_PARAMS* params, const void* reserved, int reservedFlags);
DLBT_API void WINAPI DLBT_PreShutdown(void);   // starts saving every downloader's state
DLBT_API void WINAPI DLBT_Shutdown(void);      // saves, then stops; waits for both
DLBT_API void WINAPI DLBT_SetUploadSpeedLimit(int bytesPerSecond);   // 0: none
DLBT_API void WINAPI DLBT_SetDownloadSpeedLimit(int bytesPerSecond); // 0: none
// Peers on the local network (loopback included) are otherwise not limited.
DLBT_API void WINAPI DLBT_SetLocalNetworkLimit(BOOL limit, int downBytesPerSecond, int upBytesPerSecond);
DLBT_API void WINAPI DLBT_SetReportIP(LPCWSTR address);
DLBT_API BOOL WINAPI DLBT_GetKernelInfo(DLBT_KERNEL_INFO* info);
DLBT_API BOOL WINAPI DLBT_SetDHTFilePathName(LPCWSTR path);
DLBT_API BOOL WINAPI DLBT_AddAppToWindowsXPFirewall(LPCWSTR programPath, LPCWSTR ruleName);
DLBT_API BOOL WINAPI DLBT_AddUPnPPortMapping(void);
DLBT_API UINT WINAPI DLBT_GetCurrentXPLimit(void);
DLBT_API BOOL WINAPI DLBT_ChangeXPConnectionLimit(UINT connections);
DLBT_API BOOL WINAPI DLBT_SetP2SPExtName(LPCWSTR extension);

// Downloaders. Initialize loads `torrentPath` and puts its content under
// `saveFolder`; with `useRootName` and a `rootName`, a torrent of several
// files is stored under that folder name instead of its own. `stateFile`
// keeps what was verified, so a later start resumes. `sparseFiles` 1 makes
// sparse files, 0 allocates them; `startPaused` adds the downloader paused;
// `seedOnly` and `reserved` must be 0 and null, `reservedFlags` 0.
DLBT_API DLBT_DOWNLOADER WINAPI DLBT_Downloader_Initialize(
    LPCWSTR torrentPath, LPCWSTR saveFolder, LPCWSTR stateFile, int sparseFiles, BOOL startPaused,
    BOOL seedOnly, const void* reserved, LPCWSTR rootName, BOOL useRootName, int reservedFlags);
DLBT_API void WINAPI DLBT_Downloader_Release(DLBT_DOWNLOADER downloader, int reservedFlags);
DLBT_API BOOL WINAPI DLBT_Downloader_AddHttpDownload(DLBT_DOWNLOADER downloader, LPCSTR url);
DLBT_API BOOL WINAPI DLBT_Downloader_RemoveHttpDownload(DLBT_DOWNLOADER downloader, LPCSTR url);
DLBT_API BOOL WINAPI DLBT_Downloader_SetMaxSessionPerHttp(DLBT_DOWNLOADER downloader, int connections);
DLBT_API BOOL WINAPI DLBT_Downloader_AddTracker(DLBT_DOWNLOADER downloader, LPCSTR url, int tier);
DLBT_API BOOL WINAPI DLBT_Downloader_AddPeerSource(DLBT_DOWNLOADER downloader, LPCSTR address, USHORT port);
DLBT_API BOOL WINAPI DLBT_Downloader_ResumeInError(DLBT_DOWNLOADER downloader);
DLBT_API BOOL WINAPI DLBT_Downloader_SetDownloadLimit(DLBT_DOWNLOADER downloader, int bytesPerSecond);
DLBT_API BOOL WINAPI DLBT_Downloader_SetUploadLimit(DLBT_DOWNLOADER downloader, int bytesPerSecond);
DLBT_API BOOL WINAPI DLBT_Downloader_SetMaxUploadConnections(DLBT_DOWNLOADER downloader, int connections);
DLBT_API BOOL WINAPI DLBT_Downloader_SetMaxTotalConnections(DLBT_DOWNLOADER downloader, int connections);
DLBT_API BOOL WINAPI DLBT_Downloader_IsPaused(DLBT_DOWNLOADER downloader);
DLBT_API void WINAPI DLBT_Downloader_Pause(DLBT_DOWNLOADER downloader);
DLBT_API void WINAPI DLBT_Downloader_Resume(DLBT_DOWNLOADER downloader);
DLBT_API BOOL WINAPI DLBT_GetDownloaderInfo(DLBT_DOWNLOADER downloader, DLBT_DOWNLOADER_INFO* info);
// Text queries return DLBT_OK or an error code. `length` is in bytes for
// the narrow error text (ANSI code page, NUL included) and in characters for
// the wide ones; a null buffer, or one too small, yields the length needed.
DLBT_API int WINAPI DLBT_Downloader_GetLastError(DLBT_DOWNLOADER downloader, char* buffer, int* length);
DLBT_API int WINAPI DLBT_Downloader_GetTorrentName(DLBT_DOWNLOADER downloader, wchar_t* buffer, int* length);
// The path of file `index` relative to the save folder, beginning with the
// folder the content lies under for a torrent of several files.
DLBT_API int WINAPI DLBT_Downloader_GetFilePathName(DLBT_DOWNLOADER downloader, int index, wchar_t* buffer,
                                                    int* length, BOOL reserved);
DLBT_API int WINAPI DLBT_Downloader_GetFileCount(DLBT_DOWNLOADER downloader);
// Why the last DLBT_Downloader_Initialize gave no downloader, as the text
// queries give it (narrow, ANSI code page); empty when none was refused.
// The kernel also writes it, and every file error, to the debugger output.
DLBT_API int WINAPI DLBT_GetLastError(char* buffer, int* length);

#ifdef __cplusplus
} // extern "C"

static_assert(sizeof(DLBT_START_PARAMS) == 24, "start parameters are 24 bytes");
static_assert(offsetof(DLBT_START_PARAMS, firstPort) == 20, "first port follows five flags");
static_assert(sizeof(DLBT_DOWNLOADER_INFO) == 432, "status record is 432 bytes");
static_assert(offsetof(DLBT_DOWNLOADER_INFO, state) == 0, "state at 0");
static_assert(offsetof(DLBT_DOWNLOADER_INFO, percent) == 40, "per cent at 40");
static_assert(offsetof(DLBT_DOWNLOADER_INFO, downloadSpeed) == 48, "speed at 48");
static_assert(offsetof(DLBT_DOWNLOADER_INFO, downloaded) == 72, "downloaded at 72");
static_assert(offsetof(DLBT_DOWNLOADER_INFO, totalSize) == 144, "total at 144");
static_assert(offsetof(DLBT_DOWNLOADER_INFO, infoHash) == 176, "info-hash at 176");
static_assert(sizeof(DLBT_KERNEL_INFO) == 56, "counters are 56 bytes");
static_assert(offsetof(DLBT_KERNEL_INFO, totalUploaded) == 32, "uploaded total at 32");
#endif
