#pragma once

#include "settings/JsonSetting.h"

#include <string>
#include <vector>

// The download description from "server.cfg". Texts are bytes of the user's
// ANSI code page, as the configuration server wrote them.
class CDownSetting : public CJsonSetting {
public:
    bool Parse(const std::string& text) override;

    // Whether a fetched text may stand as the description: a JSON object.
    // Anything else the server sends (an error page, noise, an empty body)
    // must not replace the one the player has.
    static bool IsDescription(const char* data, size_t size);

    // Forgets what the description said, after a step built on it failed;
    // the version text stays for the usage reports.
    void Reset();

    std::string m_mainExe;      // the game's program, relative to the download folder
    std::wstring m_mainExePath; // its full path once the download is complete; never stored
    std::string m_torrentUrl;
    std::string m_ver;
    std::vector<std::string> m_httpSeed;
    std::vector<std::string> m_trackers; // an entry may hold several, separated by "|"
};
