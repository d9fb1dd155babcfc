#include "settings/ClientId.h"
#include "settings/Md5.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool IsLowercaseHex32(const std::string& text)
{
    return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

IP_ADAPTER_INFO Adapter(std::initializer_list<BYTE> address, const char* ip)
{
    IP_ADAPTER_INFO adapter = {};
    std::copy(address.begin(), address.end(), adapter.Address);
    adapter.AddressLength = static_cast<UINT>(address.size());
    std::strcpy(adapter.IpAddressList.IpAddress.String, ip);
    return adapter;
}

TEST(Md5Hex, MatchesTheReferenceDigests)
{
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(ClientId, IsTheDigestOfTheUppercaseAddressText)
{
    const IP_ADAPTER_INFO adapter = Adapter({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, "10.0.0.2");
    EXPECT_EQ(AdapterAddressText(adapter), "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(ClientIdOfAdapters(&adapter), "64ef59ed159b1cfd56057da3b82a7677");
}

TEST(ClientId, TheLastAdapterListedCounts)
{
    IP_ADAPTER_INFO second = Adapter({0x11, 0x22, 0x33, 0x44, 0x55, 0x66}, "192.168.1.9");
    IP_ADAPTER_INFO first = Adapter({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, "10.0.0.2");
    first.Next = &second;
    EXPECT_EQ(ClientIdOfAdapters(&first), "1b5de627b4a25553baf1f72af9afb96d");
}

TEST(ClientId, WithoutAnAdapterIsStillStableAndWellFormed)
{
    const std::string id = ClientIdOfAdapters(nullptr);
    EXPECT_TRUE(IsLowercaseHex32(id)) << id;
    EXPECT_EQ(ClientIdOfAdapters(nullptr), id);
    EXPECT_NE(id, Md5Hex(""));
}

TEST(ClientId, ThisComputerGetsTheSameIdentityEachTime)
{
    const std::string id = MakeClientId();
    EXPECT_TRUE(IsLowercaseHex32(id)) << id;
    EXPECT_EQ(MakeClientId(), id);
}

} // namespace
