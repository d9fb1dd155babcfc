// Only what the publisher signed runs. With the publisher's key built in, a
// description or a torrent whose signature beside it is missing or does not
// verify is a failed fetch: it replaces nothing on disk, and nothing starts.
#include "workflow/WorkflowFixture.h"

#include "kernel/Swarm.h"
#include "support/ChildProcess.h"
#include "util/TextConvert.h"

#include <openssl/evp.h>

#include <chrono>
#include <memory>

namespace {

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// An Ed25519 key pair made for the test, as "tools/publish --make-key" makes one.
class Signer {
public:
    Signer() : m_key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")) {}

    std::string PublicHex() const
    {
        unsigned char raw[32] = {};
        size_t size = sizeof raw;
        EVP_PKEY_get_raw_public_key(m_key.get(), raw, &size);
        static const char kDigits[] = "0123456789abcdef";
        std::string hex;
        for (const unsigned char byte : raw)
            hex += std::string{kDigits[byte >> 4], kDigits[byte & 15]};
        return hex;
    }

    std::string Sign(const std::string& bytes) const
    {
        std::string signature(64, '\0');
        size_t size = signature.size();
        const std::unique_ptr<EVP_MD_CTX, MdContextFree> context(EVP_MD_CTX_new());
        EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, m_key.get());
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(&signature[0]), &size,
                       reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        return signature;
    }

private:
    std::unique_ptr<EVP_PKEY, PkeyFree> m_key;
};

const char kTorrent[] = "d8:announce0:4:infod4:name7:Korvaneee";
const char kOtherTorrent[] = "d8:announce0:4:infod4:name7:Impostoee";

enum class Tampering { DescriptionByOneByte, TorrentSwapped, SignaturesMissing, SignedByAnotherKey };

class TrustTest : public WorkflowFixture, public ::testing::WithParamInterface<Tampering> {
protected:
    TrustTest() { m_options.publisherKey = m_publisher.PublicHex(); }

    std::string Description() const
    {
        return "{\"torrentUrl\":\"" + JsonText(TorrentUrl()) +
               "\",\"mainExe\":\"bin\\\\game.exe\",\"ver\":\"1.2.3\",\"httpSeed\":[],\"trackers\":[]}";
    }

    void Serve(const std::string& name, const std::string& bytes, const std::string& signature)
    {
        ASSERT_TRUE(StoreOnCollector(ServerName(name), bytes));
        ASSERT_TRUE(StoreOnCollector(ServerName(name + ".sig"), signature));
    }

    void PublishGood()
    {
        Serve("server.cfg", Description(), m_publisher.Sign(Description()));
        Serve("korvane.torrent", kTorrent, m_publisher.Sign(kTorrent));
    }

    void PublishTampered(Tampering tampering)
    {
        std::string description = Description();
        const std::string goodSignature = m_publisher.Sign(description);
        switch (tampering) {
        case Tampering::DescriptionByOneByte:
            description[description.find("1.2.3")] = '9';
            Serve("server.cfg", description, goodSignature);
            break;
        case Tampering::TorrentSwapped:
            Serve("korvane.torrent", kOtherTorrent, m_publisher.Sign(kTorrent));
            break;
        case Tampering::SignaturesMissing:
            Serve("server.cfg", description, "");
            Serve("korvane.torrent", kTorrent, "");
            break;
        case Tampering::SignedByAnotherKey:
            Serve("server.cfg", description, m_stranger.Sign(description));
            Serve("korvane.torrent", kTorrent, m_stranger.Sign(kTorrent));
            break;
        }
    }

    // A later run of the program against the server as it is now.
    void RunAgain()
    {
        m_workflow.reset();
        MakeWorkflow();
        m_workflow->LoadConfiguration();
        PollUntilFetchesEnd();
    }

    std::string OnDisk(const wchar_t* name) const { return m_temp.Read(std::wstring(L"cfg\\") + name); }

    Signer m_publisher;
    Signer m_stranger;
};

// The publisher's signed game from the local swarm, with the real kernel:
// it downloads, and its program starts.
TEST_F(TrustTest, ASignedGameDownloadsFromTheSwarmAndItsProgramStarts)
{
    Swarm swarm;
    ASSERT_TRUE(swarm.Load()) << "the swarm fixture has not run";
    m_kernel.reset();
    ASSERT_TRUE(::CopyFileW(WindowsPathOfHostPath(KORVANE_KERNEL_DLL).c_str(), (m_cfgDir + L"DLBT.dll").c_str(),
                            FALSE));
    m_options.p2pPort = 29420; // clear of the other swarm tests' ports
    m_options.runGame = true;
    const std::string torrent = ReadWholeFile(swarm.TorrentPath("multi"));
    const std::string description = "{\"torrentUrl\":\"" + TorrentUrl() +
                                    "\",\"mainExe\":\"tools\\\\stub.exe\",\"ver\":\"1.2.3\",\"httpSeed\":[\"" +
                                    swarm.WebSeed() + "\"],\"trackers\":[\"" + swarm.Tracker() + "\"]}";
    Serve("korvane.torrent", torrent, m_publisher.Sign(torrent));
    Serve("server.cfg", description, m_publisher.Sign(description));

    // The game's program, where the description says it lies.
    const std::wstring tools = PlaceGameProgram(L"tools");
    FetchAndStart();
    ASSERT_EQ(State(), WorkflowState::Downloading) << WideToAnsi(m_workflow->Line());
    ASSERT_TRUE(WaitFor(
        [&] {
            m_workflow->Tick();
            return State() == WorkflowState::Completed;
        },
        std::chrono::seconds(240)));
    EXPECT_TRUE(m_temp.Read(L"games\\Korvane\\data\\pack1.dat") == swarm.SeedFile("KorvaneGame/data/pack1.dat"));
    EXPECT_TRUE(WaitForGameStarted(tools)) << "the signed game's program did not run";
}

// A later run over a tampered server keeps the earlier good files; on a clean
// machine the same server gets the failure status and nothing is started.
TEST_P(TrustTest, WhatThePublisherDidNotSignReplacesNothingAndStartsNothing)
{
    PublishGood();
    RunAgain();
    const std::string description = OnDisk(L"server.cfg"), torrent = OnDisk(L"korvane.torrent");
    ASSERT_EQ(torrent, kTorrent);

    PublishTampered(GetParam());
    RunAgain();
    EXPECT_EQ(OnDisk(L"server.cfg"), description);
    EXPECT_EQ(OnDisk(L"server.cfg.sig"), m_publisher.Sign(description));
    EXPECT_EQ(OnDisk(L"korvane.torrent"), torrent);

    m_workflow.reset();
    for (const wchar_t* name : {L"server.cfg", L"server.cfg.sig", L"korvane.torrent", L"korvane.torrent.sig"})
        ::DeleteFileW((m_cfgDir + name).c_str());
    m_kernel->TakeCalls();
    RunAgain();
    m_workflow->Start(m_folder);
    PollUntilFetchesEnd();
    EXPECT_EQ(State(), WorkflowState::Failed);
    EXPECT_EQ(m_workflow->Line(), GetParam() == Tampering::TorrentSwapped ? L"加载P2P信息出错，请稍后重试！"
                                                                           : L"加载游戏服务器信息时出错，请稍后重试！");
    for (const std::string& call : m_kernel->TakeCalls())
        EXPECT_EQ(call.find("Initialize"), std::string::npos) << "a downloader was made: " << call;
    EXPECT_NE(OnDisk(L"korvane.torrent"), kOtherTorrent);
}

std::string NameOf(const ::testing::TestParamInfo<Tampering>& info)
{
    static const char* const kNames[] = {"DescriptionByOneByte", "TorrentSwapped", "SignaturesMissing",
                                         "SignedByAnotherKey"};
    return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Tamperings, TrustTest,
                         ::testing::Values(Tampering::DescriptionByOneByte, Tampering::TorrentSwapped,
                                           Tampering::SignaturesMissing, Tampering::SignedByAnotherKey),
                         NameOf);

} // namespace
