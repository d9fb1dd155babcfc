#pragma once

#include "faults/ConfigServer.h"
#include "kernel/Swarm.h"
#include "support/DebugOutputMonitor.h"
#include "support/ProgramDriver.h"
#include "support/TempDir.h"

#include <json/value.h>
#include <gtest/gtest.h>

#include <string>

// One player's machine for a fault case: a working folder with the launcher
// configuration, a copy of the program, the game's description and torrent
// on a configuration server of the case's own, and the game's swarm.
class GameCase : public ::testing::Test {
protected:
    // The case server serves the game; the program will fetch from it and
    // listen on `p2pPort`.
    void PrepareCase(const std::string& caseName, int p2pPort);
    // A copy of the program in the working folder, with "base.cfg" beside it.
    std::wstring InstallProgram();
    // A player of the program, its usage reports going to the case server.
    ProgramDriver Player() const;
    // "base.cfg" naming the download folder and the client id, in `cfgFolder`.
    void WriteBaseSettings(const std::wstring& cfgFolder) const;

    std::string Description() const;
    std::string Torrent() const { return ReadWholeFile(m_swarm.TorrentPath("game")); }
    // The base settings in `cfgFolder`; null when missing or unreadable.
    static Json::Value ReadBaseSettings(const std::wstring& cfgFolder);

    // The program shows the download complete and ends by itself with 0;
    // the game is whole and the player's settings, with the game's
    // info-hash, and the torrent are in `cfgFolder`, no temporary file left.
    void ExpectDownloadCompletes(const ProgramDriver& player, const std::wstring& cfgFolder) const;
    // The game in the download folder, file by file as the seed has it.
    void ExpectGameComplete() const;
    // Nothing of the game has been written yet.
    void ExpectNoGameFiles() const;
    // The player's settings survived: same folder, same client id.
    void ExpectBaseSettingsKept(const std::wstring& cfgFolder) const;

    DebugOutputMonitor m_debugOutput;
    TempDir m_home;
    Swarm m_swarm;
    ConfigServer m_server;
    std::string m_uuid;
    std::wstring m_games; // the download folder, ending in a backslash
};

// Files in `folder` whose name ends in `suffix` (temporary ".part" files
// left behind, for instance).
int CountFilesEndingIn(const std::wstring& folder, const std::wstring& suffix);
