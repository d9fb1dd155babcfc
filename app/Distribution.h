#pragma once

// What a distributor of the downloader may change, in one place: where the
// download description comes from, the engine's default port and the names
// the program is known by on the system.
namespace distribution {

// The configuration server. A "config.json" beside the player's working
// folder overrides the whole address at run time.
inline constexpr wchar_t kConfigHost[] = L"127.0.0.1:8701";
inline constexpr wchar_t kConfigPath[] = L"/qorn/QornClient/server.cfg";

// The game's web site: the home and registration pages, and the address
// the settings dialog shows (the build writes it into the skin).
inline constexpr wchar_t kGameSiteHost[] = L"www.korvane.net";

inline constexpr short kDefaultP2pPort = 9310;

// The reporting server that receives the usage reports; nothing at run time
// changes it.
inline constexpr wchar_t kReportHost[] = L"report.korvane.net";

// The single-instance mutex, filled with the engine port as a signed number.
inline constexpr wchar_t kMutexNameFormat[] = L"Global\\Vantor_Tessary_Korvane_%d";

// The main window's title: a second start finds the running copy by it.
// The firewall entry carries the same name.
inline constexpr wchar_t kWindowTitle[] = L"Korvane下载器";

// The value under the current user's Run key that starts the program at logon.
inline constexpr wchar_t kAutoStartValueName[] = L"Vantor_Tessary_Korvane";

inline constexpr char kLauncherConfigFile[] = "config.json";
inline constexpr char kLauncherDumpFile[] = "dump_config.json";

// The folder the game is downloaded into, inside the folder the player picks.
inline constexpr wchar_t kGameFolderName[] = L"Korvane";

// The desktop shortcut to the game made when the download is complete,
// without its ".lnk".
inline constexpr wchar_t kDesktopShortcutName[] = L"Korvane";

// The configuration folder's home under the common application-data folder
// when the program's own folder is not writable.
inline constexpr wchar_t kCommonDataFolderName[] = L"Vantor_Tessary_Korvane";

} // namespace distribution
