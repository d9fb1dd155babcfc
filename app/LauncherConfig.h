#pragma once

#include <cstdint>
#include <string>

// The distributor's launcher settings from the optional "config.json" in the
// working folder: where the download description comes from, the engine's
// port (which also names the single-instance mutex), the address the engine
// reports, and what happens when the download is complete.
class CLauncherConfig {
public:
    // The one process-wide record, created with the defaults on first use.
    static CLauncherConfig& Instance();

    CLauncherConfig();

    // Reads the JSON file `fileName` (relative to the working folder). A
    // missing or malformed file, or a member of the wrong type, leaves the
    // fields as they are; nothing is reported.
    void Load(const char* fileName);

    std::wstring config_url;
    std::wstring mutex_name;
    int16_t p2p_port;
    bool run_game_exe = true;
    std::wstring report_ip;
    bool exit_on_done = true;

private:
    void SetPort(uint16_t port);
};
