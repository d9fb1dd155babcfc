// The program as shipped downloading the game onto the lying drive M: (a
// fixture mounts it where FUSE can be mounted), which fills up as the last
// bytes come in. Whatever the kernel does with its failed writes, the
// window never says the download is complete, and the game is never
// started, while a file on the drive differs from the seed's. The player
// meets the disk warning, makes room and resumes; the game completes, the
// seed's byte for byte, and starts.
#include "faults/LyingDrive.h"
#include "faults/SwarmFaultTest.h"

#include "support/ChildProcess.h"
#include "workflow/Collector.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

const wchar_t kWarningCaption[] = L"警告";
const wchar_t kComplete[] = L"下载完成！";
const wchar_t kGameFolder[] = L"M:\\Korvane\\";
// libtorrent writes a block of 16 KiB at a time.
const uint64_t kBlock = 16 * 1024;

class LyingDriveProgramTest : public SwarmFaultTest {
protected:
    void SetUp() override
    {
        if (!lying_drive::Present())
            GTEST_SKIP() << "no lying drive M: (its fixture mounts one where FUSE can be mounted)";
        SwarmFaultTest::SetUp();
        ASSERT_TRUE(lying_drive::Reset());
        RemoveTree(L"M:\\Korvane");
        WriteBaseSettings(kGameFolder);
        Describe({m_swarm.WebSeed()});
        // As SwarmFaultTest has it, and the game's program runs once the
        // game is complete.
        m_temp.Write(L"config.json", "{\"config_url\":\"" + CollectorUrl("/files/" + m_uuid + "/server.cfg") +
                                         "\",\"p2p_port\":29480,\"exit_on_done\":true,\"run_game_exe\":true}");
        // The torrent's paths begin with the game's root folder; on the
        // drive the player's folder takes its place.
        for (const std::string& file : m_swarm.Files("game")) {
            std::wstring inGame;
            for (const char c : file.substr(file.find('/') + 1))
                inGame += c == '/' ? L'\\' : static_cast<wchar_t>(c);
            m_seedFiles.push_back({file, lying_drive::BackingPath(kGameFolder + inGame), m_swarm.SeedFile(file)});
        }
    }

    void TearDown() override
    {
        if (!lying_drive::Present())
            return;
        lying_drive::Reset();
        RemoveTree(L"M:\\Korvane");
    }

    // What on the drive differs from the seed; empty when the game is whole.
    std::string Difference() const
    {
        std::string difference;
        for (const SSeedFile& file : m_seedFiles) {
            const std::string onDisk = ReadWholeFile(file.onDrive);
            if (onDisk == file.content)
                continue;
            const auto differ = std::mismatch(onDisk.begin(), onDisk.end(), file.content.begin(), file.content.end());
            difference += file.name + ": " + std::to_string(onDisk.size()) + " bytes for " +
                          std::to_string(file.content.size()) + ", the first difference at " +
                          std::to_string(differ.first - onDisk.begin()) + "\n";
        }
        return difference;
    }

    bool GameStarted() const
    {
        return ::GetFileAttributesW(lying_drive::BackingPath(std::wstring(kGameFolder) + L"bin\\game-started.txt")
                                        .c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    // Watches the program until `until` holds, the program has ended or
    // `limit` has passed: each time the window says complete or the game has
    // started, every file must be the seed's.
    bool Watch(const ProgramDriver& run, const std::function<bool()>& until, std::chrono::milliseconds limit)
    {
        return WaitFor([&] {
            const bool claimed = run.LastLine().find(kComplete) != std::wstring::npos;
            const bool started = GameStarted();
            if ((claimed || started) && !m_falseClaim) {
                const std::string difference = Difference();
                if (!difference.empty()) {
                    m_falseClaim = true;
                    ADD_FAILURE() << (started ? "the game started" : "the window says the download is complete")
                                  << " while files differ from the seed's:\n" << difference << run.Shown() << "\n"
                                  << lying_drive::Report();
                }
            }
            return m_falseClaim || until() || !run.Running();
        }, limit);
    }

    struct SSeedFile {
        std::string name;
        std::wstring onDrive; // behind the drive, where no fault reaches the test's reads
        std::string content;
    };
    std::vector<SSeedFile> m_seedFiles;
    bool m_falseClaim = false;
};

TEST_F(LyingDriveProgramTest, ADriveFullBeforeTheLastBlockNeitherShowsCompleteNorStartsTheGameUntilItIsWhole)
{
    ASSERT_TRUE(lying_drive::Arm("full", "enospc write times=forever free after=" +
                                             std::to_string(m_swarm.TotalSize("game") - kBlock)));
    ProgramDriver run(m_debugOutput);
    ASSERT_TRUE(StartProgram(run));
    ASSERT_TRUE(run.PressStart()) << run.Shown();

    HWND warning = nullptr;
    Watch(run, [&] {
        warning = run.WaitForMessageBox(kWarningCaption, std::chrono::milliseconds(0));
        return warning != nullptr;
    }, std::chrono::minutes(3));
    if (m_falseClaim) {
        // What a player would have met next: a program that ends, having
        // started the damaged game or not.
        run.WaitForExit(std::chrono::seconds(60));
        EXPECT_FALSE(GameStarted()) << "the program started the damaged game";
        return;
    }
    EXPECT_GE(lying_drive::Fired("full"), 1) << "the drive never filled\n" << lying_drive::Report();
    ASSERT_NE(warning, nullptr) << "no disk warning once the drive was full\n" << run.Shown() << "\n"
                                << lying_drive::Report();

    // The player reads the warning, makes room and resumes.
    PressOk(warning);
    ASSERT_TRUE(run.WaitForLine([](const std::wstring& line) { return line.find(L"暂停") != std::wstring::npos; },
                                std::chrono::seconds(30)))
        << "the window does not show the download paused\n" << run.Shown();
    ASSERT_TRUE(lying_drive::Disarm("full"));
    ASSERT_TRUE(run.Press(L"btn_resume"));
    Watch(run, [] { return false; }, std::chrono::minutes(4));
    ASSERT_FALSE(m_falseClaim);
    ASSERT_EQ(run.WaitForExit(std::chrono::seconds(0)), 0u) << run.Shown();
    EXPECT_EQ(run.LastLine(), std::wstring(L"100% ") + kComplete);
    EXPECT_EQ(Difference(), "");
    EXPECT_TRUE(GameStarted()) << "the game did not start once it was whole";
}

} // namespace
