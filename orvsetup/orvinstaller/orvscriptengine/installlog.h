// The install log: the record of an install as a file in its install folder, written at the end of the
// install and read back, as hostile input, by the uninstaller.
#pragma once

#include <string>
#include <vector>

#include "orvscriptengine/installrecord.h"

namespace orv {

constexpr wchar_t kInstallLogName[] = L"Uninst.rec";
constexpr size_t kMaxLogBytes = 8u << 20;
constexpr size_t kMaxLogEntries = 100000;

std::string FormatLog(const std::vector<RecordEntry>& entries);

enum class LogRead { kRead, kMissing, kRefused };

// Reads the log `file`. A file larger than kMaxLogBytes, without the header line or of another version is
// refused whole; a line that does not parse is left out with a trace line naming it.
LogRead ParseLog(const std::string& text, const std::wstring& file, std::vector<RecordEntry>* entries);
LogRead ReadLog(const std::wstring& file, std::vector<RecordEntry>* entries);

// Writes the log through a file beside it that then replaces it. True when it is in place.
bool WriteLog(const std::wstring& file, const std::vector<RecordEntry>& entries);

}  // namespace orv
