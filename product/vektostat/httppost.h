// One HTTP/1.0 POST over a plain TCP socket, for the statistics client.
#pragma once

#include <string>

namespace quellby {

// POSTs `body` with `contentType` to an "http://host[:port][/path]" URL. True when the server answers
// with a 2xx status. Connecting, sending and reading the answer share one deadline of 10 seconds.
bool HttpPost(const std::wstring& url, const std::string& contentType, const std::string& body);

// UTF-8 of a UTF-16 text (empty for an empty or unconvertible text).
std::string ToUtf8(const wchar_t* text);

}  // namespace quellby
