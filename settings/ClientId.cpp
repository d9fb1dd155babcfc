#include "settings/ClientId.h"

#include "settings/Md5.h"
#include "util/TextConvert.h"

#include <cstdio>
#include <new>
#include <vector>

namespace {

// Names and serial numbers change far less often than adapters come and go,
// and a machine with no adapter at all still needs one stable identity. The
// text cannot be mistaken for an address text, so it never collides with one.
std::string ComputerText()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD nameLength = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &nameLength))
        name[0] = L'\0';

    wchar_t root[MAX_PATH] = {};
    DWORD serial = 0;
    if (::GetWindowsDirectoryW(root, MAX_PATH) >= 3) {
        root[3] = L'\0'; // "C:\"
        ::GetVolumeInformationW(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
    }
    char text[64];
    std::snprintf(text, sizeof text, "computer:%08lX", static_cast<unsigned long>(serial));
    return text + WideToAnsi(name);
}

// GetAdaptersInfo into a buffer first sized for one adapter, grown once to
// the size the system asks for; empty when no adapter list could be read.
std::vector<IP_ADAPTER_INFO> ReadAdapters()
{
    try {
        ULONG size = sizeof(IP_ADAPTER_INFO);
        std::vector<IP_ADAPTER_INFO> adapters(1);
        if (::GetAdaptersInfo(adapters.data(), &size) == ERROR_BUFFER_OVERFLOW)
            adapters.assign(size / sizeof(IP_ADAPTER_INFO) + 1, IP_ADAPTER_INFO{});
        size = static_cast<ULONG>(adapters.size() * sizeof(IP_ADAPTER_INFO));
        if (::GetAdaptersInfo(adapters.data(), &size) != NO_ERROR)
            adapters.clear();
        return adapters;
    } catch (const std::bad_alloc&) {
        std::printf("Error allocating memory needed to call GetAdaptersinfo\n");
        return {};
    }
}

} // namespace

std::string AdapterAddressText(const IP_ADAPTER_INFO& adapter)
{
    char text[18];
    const BYTE* a = adapter.Address;
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", a[0], a[1], a[2], a[3], a[4],
                  a[5]);
    return text;
}

std::string ClientIdOfAdapters(const IP_ADAPTER_INFO* adapters)
{
    if (!adapters)
        return Md5Hex(ComputerText());
    std::string address;
    for (const IP_ADAPTER_INFO* adapter = adapters; adapter; adapter = adapter->Next) {
        address = AdapterAddressText(*adapter);
        std::printf("Address: %s, mac: %s\n", adapter->IpAddressList.IpAddress.String,
                    address.c_str());
        std::printf("\n");
    }
    return Md5Hex(address);
}

std::string MakeClientId()
{
    const std::vector<IP_ADAPTER_INFO> adapters = ReadAdapters();
    return ClientIdOfAdapters(adapters.empty() ? nullptr : adapters.data());
}
