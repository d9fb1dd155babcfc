#pragma once

#include "kernel/Swarm.h"

#include "support/DebugOutputMonitor.h"
#include "support/ProgramDriver.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The program as shipped, in a folder of its own, downloading the game of
// the faults' swarm (tracker, seeder, an intact and a corrupt HTTP seed) at
// a limited rate, so that a test can reach into the middle of a download.
class SwarmFaultTest : public ::testing::Test {
protected:
    static constexpr int kRateLimitKBps = 2048;

    void SetUp() override;

    // The description on the configuration server names these HTTP seeds;
    // the player's folder and the rate limit go into "base.cfg".
    void Describe(const std::vector<std::string>& httpSeeds);
    void WriteBaseSettings(const std::wstring& gameFolder);
    // Starts the program from its folder, its usage reports going to the
    // tests' collector; true once its window shows.
    bool StartProgram(ProgramDriver& run) const;

    // What the seeds have sent of the game so far.
    uint64_t SeedsSent() const;
    // Every file of the game in `gameFolder` is the seed's, byte for byte.
    void ExpectGameIdenticalToSeed(const std::wstring& gameFolder) const;
    std::vector<std::string> Reports() const;

    Swarm m_swarm;
    DebugOutputMonitor m_debugOutput;
    TempDir m_temp;
    std::string m_uuid;
    std::wstring m_program;
};

// The rates of the reports of one operation ("start", "finish", "close"),
// in order of arrival. Progress reports are "finish" reports below 100.
std::vector<int> ReportedRates(const std::vector<std::string>& reports, const std::string& opname);
