#pragma once

#include "net/BodyCheck.h"

#include <string>

// Blocking HTTP GETs on the caller's thread. Their only diagnostics are lines
// on standard output; callers look at the file afterwards.

// Writes the body of a 200 response that `check` (when given) accepts over
// `path` in one step; any other outcome leaves the file as it was.
void DownloadUrlToFile(const std::string& url, const std::wstring& path, BodyCheck check = nullptr);
// Sends the request and drops the body.
void RequestUrl(const std::string& url);

// "http://host:port/path?query" taken apart: "http", "host:port" and
// "/path?query". Parts that are not there come back empty.
std::string GetUrlScheme(const std::string& url);
std::string GetUrlHost(const std::string& url);
std::string GetUrlPath(const std::string& url);
