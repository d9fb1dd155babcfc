#pragma once

#include <string>
#include <vector>

// The workflow tests' server (started by a ctest fixture): it serves the
// files a test stores on it and collects the usage reports by client id.
std::string CollectorUrl(const std::string& path);
std::wstring CollectorHost(); // "127.0.0.1:port"

bool StoreOnCollector(const std::string& name, const std::string& bytes);
// How many times /files/NAME was fetched.
int FetchCount(const std::string& name);
// The queries of the reports received for `uuid`, in order of arrival.
std::vector<std::string> ReceivedReports(const std::string& uuid);
// The queries of the tracker announces the server received at "/announce",
// in order of arrival.
std::vector<std::string> ReceivedAnnounces();
// Waits until `count` reports for `uuid` have arrived; they are returned.
std::vector<std::string> WaitForReports(const std::string& uuid, size_t count);

// Backslashes escaped for a JSON string, as the tests write paths into
// settings and descriptions.
std::string JsonText(const std::string& text);

// A client id no other test uses.
std::string UniqueClientId(const char* prefix);
