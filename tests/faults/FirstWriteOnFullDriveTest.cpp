// libtorrent itself, as our recipe builds it, writing the first block of a
// new file onto the small drive K: after another program filled it to the
// last byte. Creating the file works; extending it to its size does not (on
// Windows the file's mapping extends it). That must be an ordinary error of
// that file, and the block that was never written must not be served from
// memory afterwards: libtorrent keeps a block in its store buffer until it is
// written, and a write that ended in an exception used to leave the entry
// pointing at the freed block, so a read or a recheck of it used freed memory.
// The small drive is mounted by a fixture (only when run as root).
#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/alert_types.hpp>
#include <libtorrent/create_torrent.hpp>
#include <libtorrent/hasher.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/torrent_info.hpp>

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

const wchar_t kDrive[] = L"K:\\";
const wchar_t kFiller[] = L"K:\\first-write-filler.bin";
const wchar_t kFolder[] = L"K:\\first-write";
const char kSavePath[] = "K:\\first-write";
const char kFileName[] = "first.bin";
const uint64_t kSmallDriveLimit = 256u << 20;
const int kPieceSize = 16 * 1024;
const int kPieces = 4;

bool SmallDriveThere()
{
    ULARGE_INTEGER free{}, size{};
    return ::GetDiskFreeSpaceExW(kDrive, &free, &size, nullptr) && size.QuadPart <= kSmallDriveLimit;
}

// Another program writes until the drive takes no more, down to single bytes.
bool FillDrive()
{
    HANDLE file = ::CreateFileW(kFiller, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const std::vector<char> chunk(1 << 20, 'x');
    for (DWORD step : {DWORD(1) << 20, DWORD(4096), DWORD(1)}) {
        DWORD done = 0;
        while (::WriteFile(file, chunk.data(), step, &done, nullptr) && done > 0) {
        }
    }
    ::CloseHandle(file);
    return true;
}

std::vector<char> GameBytes()
{
    std::vector<char> bytes(static_cast<size_t>(kPieceSize) * kPieces);
    unsigned x = 20261210;
    for (char& byte : bytes) {
        x = x * 1103515245u + 12345u;
        byte = static_cast<char>(x >> 16);
    }
    return bytes;
}

std::shared_ptr<lt::torrent_info> TorrentOf(const std::vector<char>& bytes)
{
    lt::file_storage files;
    files.add_file(kFileName, static_cast<std::int64_t>(bytes.size()));
    lt::create_torrent maker(files, kPieceSize, lt::create_torrent::v1_only);
    for (int piece = 0; piece < kPieces; ++piece)
        maker.set_hash(lt::piece_index_t(piece), lt::hasher(bytes.data() + piece * kPieceSize, kPieceSize).final());
    std::vector<char> encoded;
    lt::bencode(std::back_inserter(encoded), maker.generate());
    return std::make_shared<lt::torrent_info>(encoded, lt::from_span);
}

lt::settings_pack QuietSession()
{
    lt::settings_pack pack;
    pack.set_str(lt::settings_pack::listen_interfaces, "127.0.0.1:0");
    pack.set_bool(lt::settings_pack::enable_dht, false);
    pack.set_bool(lt::settings_pack::enable_lsd, false);
    pack.set_bool(lt::settings_pack::enable_upnp, false);
    pack.set_bool(lt::settings_pack::enable_natpmp, false);
    pack.set_int(lt::settings_pack::alert_mask, lt::alert_category::error | lt::alert_category::storage
                                                    | lt::alert_category::status);
    return pack;
}

void RemoveLeftovers()
{
    ::DeleteFileW(kFiller);
    ::DeleteFileW((std::wstring(kFolder) + L"\\first.bin").c_str());
    ::RemoveDirectoryW(kFolder);
}

class FirstWriteOnFullDriveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!SmallDriveThere())
            GTEST_SKIP() << "no small drive K: (the fixture mounts one only when run as root)";
        RemoveLeftovers();
        ASSERT_TRUE(::CreateDirectoryW(kFolder, nullptr));
    }
    void TearDown() override
    {
        if (m_session) {
            if (m_handle.is_valid()) {
                m_session->remove_torrent(m_handle);
                WaitForAlert<lt::torrent_removed_alert>([](const lt::torrent_removed_alert&) {});
            }
            m_session.reset();
        }
        RemoveLeftovers();
    }

    // Hands the first alert of type A to `look` (alerts live only until the
    // next pop); false when none came in time.
    template <typename A>
    bool WaitForAlert(const std::function<void(const A&)>& look, std::chrono::seconds limit = 60s)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            m_session->wait_for_alert(200ms);
            std::vector<lt::alert*> alerts;
            m_session->pop_alerts(&alerts);
            for (lt::alert* alert : alerts) {
                if (const A* wanted = lt::alert_cast<A>(alert)) {
                    look(*wanted);
                    return true;
                }
            }
        }
        return false;
    }

    std::unique_ptr<lt::session> m_session;
    lt::torrent_handle m_handle;
};

TEST_F(FirstWriteOnFullDriveTest, IsAnErrorOfThatFileAndTheBlockIsNotServedFromMemory)
{
    const std::vector<char> game = GameBytes();
    m_session = std::make_unique<lt::session>(QuietSession());
    lt::add_torrent_params params;
    params.ti = TorrentOf(game);
    params.save_path = kSavePath;
    params.flags &= ~(lt::torrent_flags::auto_managed | lt::torrent_flags::paused);
    m_handle = m_session->add_torrent(params);
    ASSERT_TRUE(WaitForAlert<lt::torrent_checked_alert>([](const lt::torrent_checked_alert&) {}));
    ASSERT_TRUE(FillDrive());

    m_handle.add_piece(lt::piece_index_t(0), game.data());
    lt::operation_t operation = lt::operation_t::unknown;
    std::string file;
    lt::error_code error;
    ASSERT_TRUE(WaitForAlert<lt::file_error_alert>([&](const lt::file_error_alert& alert) {
        operation = alert.op;
        file = alert.filename();
        error = alert.error;
    })) << "the write onto the full drive did not fail";
    EXPECT_TRUE(error == boost::system::errc::no_space_on_device) << error.message();
    EXPECT_STREQ(lt::operation_name(operation), lt::operation_name(lt::operation_t::file_open));
    EXPECT_TRUE(file.find(kFileName) != std::string::npos) << "the error names '" << file << "'";

    // Nothing of piece 0 is on the drive, so reading it cannot succeed.
    m_handle.read_piece(lt::piece_index_t(0));
    lt::error_code readError;
    int readSize = -1;
    ASSERT_TRUE(WaitForAlert<lt::read_piece_alert>([&](const lt::read_piece_alert& alert) {
        readError = alert.error;
        readSize = alert.size;
    }));
    EXPECT_TRUE(readError) << "piece 0 was read (" << readSize << " bytes) though none of it was written";
}

} // namespace
