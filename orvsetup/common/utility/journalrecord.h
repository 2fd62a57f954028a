// The records of the install journal and their bytes on disk. Reading is defensive: the journal is read
// back by an elevated process, so every length and kind is checked before it is used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

constexpr uint32_t kJournalVersion = 1;

enum class JournalKind : uint32_t {
    kFileCreated = 1,    // path: a file that was not there
    kFolderCreated = 2,  // path: a folder that was not there
    kFileAside = 3,      // path: the file's place, other: where the old file waits
    kFileMoved = 4,      // path: where it was, other: where it went
    kKeyCreated = 5,     // path: the outermost key that was not there
    kValueOld = 6,       // path: key, other: value name; hadValue, valueType, data: what was there
    kKeyDeleted = 7,     // path: a key (its values come as kValueOld records before it)
    kKeep = 8,           // path: a file the run keeps even when it rolls back
    kOutside = 9,        // path: what a script changed outside the actions, other: its undo (text only),
                         // hadValue: its file target was there already
    kCommit = 10,        // the run went past the install: nothing is rolled back any more
    kStaging = 11,       // path: a folder where an extraction makes temporary files, other: the process
                         // they are named after (hexadecimal): orvtmp-<process>-*.tmp
};

struct JournalRecord {
    JournalKind kind = JournalKind::kCommit;
    uint32_t view = 0;       // KEY_WOW64_32KEY, KEY_WOW64_64KEY or 0, for registry records
    uint32_t hadValue = 0;   // kValueOld: 1 when the value was there; kOutside: 1 when the file was there
                             // when the change was recorded (it is not the run's to delete)
    uint32_t valueType = 0;  // kValueOld: its type
    std::wstring path;       // files: full \\?\ paths; keys: "HKLM\...", "HKU\<sid>\...", "HKCR\..."
    std::wstring other;
    std::vector<uint8_t> data;
};

// Largest encoded record; a change whose record would be larger is refused.
constexpr uint32_t kMaxJournalRecordBytes = 1u << 20;

// The file's first bytes for a product.
std::vector<uint8_t> EncodeJournalHeader(uint32_t appId);
// True when `bytes` start with a header of this version for `appId`; `used` receives its length.
bool DecodeJournalHeader(const std::vector<uint8_t>& bytes, uint32_t appId, size_t* used);

// One record as one block of bytes (its length and checksum first); empty when it would be too large.
std::vector<uint8_t> EncodeJournalRecord(const JournalRecord& record);

enum class JournalRead { kRecord, kEnd, kDamaged };
// Reads the record at `*offset` and moves the offset past it. kEnd at the end of the bytes or at a cut-off
// last record (a write that never finished); kDamaged for a bad checksum, length, kind or text.
JournalRead DecodeJournalRecord(const std::vector<uint8_t>& bytes, size_t* offset, JournalRecord* record);

uint32_t Crc32(const uint8_t* data, size_t size);

}  // namespace orv
