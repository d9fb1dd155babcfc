#pragma once

#include <windows.h>
#include <iphlpapi.h>

#include <string>

// The client identity: the MD5 of a network adapter's hardware address text,
// 32 lowercase hexadecimal digits, the same on every start of this computer.
std::string MakeClientId();

// The identity of an adapter list as GetAdaptersInfo fills it: the last
// adapter listed supplies the address. A null list (no adapter could be
// read) gives a digest of the computer's name and system volume instead.
std::string ClientIdOfAdapters(const IP_ADAPTER_INFO* adapters);

// The first six address bytes as "00:1A:2B:3C:4D:5E".
std::string AdapterAddressText(const IP_ADAPTER_INFO& adapter);
