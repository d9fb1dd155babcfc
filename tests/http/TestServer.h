#pragma once

#include <string>

// The scripted server the http fixture started for this run.
std::string TestServerUrl(const std::string& path);
// A GET on the test server made without the code under test, for asking it
// what it saw. Empty when it failed.
std::string AskTestServer(const std::string& path);
// A local port on which nothing listens.
int UnusedPort();
// The fixed byte pattern the server sends for a body of `size` bytes.
std::string ServerPattern(size_t size, int seed = 0);
