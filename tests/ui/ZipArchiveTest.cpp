#include "TestZip.h"

#include "ui/toolkit/ZipArchive.h"

#include <gtest/gtest.h>

using uitk::CZipArchive;

namespace {

std::string Repeated(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

} // namespace

TEST(ZipArchive, ReadsStoredAndDeflatedMembersByExactOrCaseFreeName)
{
    TestZip zip;
    zip.Add("font.xml", "<Window/>", false);
    zip.Add("DlgMain.xml", Repeated("<Control height=\"22\" />\n", 200), true);
    zip.Add("empty.txt", "", true);
    std::string bytes = zip.Bytes();

    CZipArchive archive;
    ASSERT_TRUE(archive.Open(bytes.data(), bytes.size()));
    std::string member;
    EXPECT_TRUE(archive.Read(L"font.xml", member));
    EXPECT_EQ(member, "<Window/>");
    EXPECT_TRUE(archive.Read(L"dlgmain.XML", member));
    EXPECT_EQ(member, Repeated("<Control height=\"22\" />\n", 200));
    EXPECT_TRUE(archive.Read(L"empty.txt", member));
    EXPECT_TRUE(member.empty());
    EXPECT_FALSE(archive.Read(L"missing.png", member));
    EXPECT_EQ(archive.Names().size(), 3u);
}

TEST(ZipArchive, RefusesDamagedArchivesAndMembers)
{
    CZipArchive archive;
    std::string notZip = "this is not an archive at all, just some text";
    EXPECT_FALSE(archive.Open(notZip.data(), notZip.size()));
    EXPECT_FALSE(archive.Open(nullptr, 0));

    TestZip zip;
    zip.Add("a.txt", Repeated("abc", 100), true);
    std::string bytes = zip.Bytes();
    // Cut inside the directory: the end record no longer matches.
    std::string cut = bytes.substr(0, bytes.size() - 30) + bytes.substr(bytes.size() - 22);
    EXPECT_FALSE(archive.Open(cut.data(), cut.size()));

    // A flipped byte in the packed data fails the checksum or the inflation.
    std::string damaged = bytes;
    damaged[30 + 5 + 3] ^= 0x55;
    ASSERT_TRUE(archive.Open(damaged.data(), damaged.size()));
    std::string member;
    EXPECT_FALSE(archive.Read(L"a.txt", member));
    EXPECT_TRUE(member.empty());
}

TEST(ZipArchive, AMemberClaimingAnImpossibleSizeIsRefused)
{
    TestZip zip;
    zip.Add("big.bin", "tiny", true);
    std::string bytes = zip.Bytes();
    // The unpacked size in the directory entry: 3 GB from a few packed bytes.
    size_t entry = bytes.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(entry, std::string::npos);
    bytes[entry + 27] = char(0xC0);
    CZipArchive archive;
    ASSERT_TRUE(archive.Open(bytes.data(), bytes.size()));
    std::string member;
    EXPECT_FALSE(archive.Read(L"big.bin", member));
}
