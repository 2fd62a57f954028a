// Journal records as bytes: header, then records of [length][crc][fields], all little-endian.
#include "utility/journalrecord.h"

#include <cstring>

namespace orv {
namespace {

constexpr uint8_t kMagic[4] = {'O', 'R', 'V', 'J'};
constexpr size_t kHeaderBytes = 12;      // magic, version, app id
constexpr size_t kRecordFixedBytes = 32;  // length, crc, kind, view, hadValue, valueType, and two text lengths
constexpr uint32_t kMaxTextUnits = 32767;  // the longest \\?\ path

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void PutText(std::vector<uint8_t>& out, const std::wstring& text) {
    for (wchar_t unit : text) {
        out.push_back(static_cast<uint8_t>(unit & 0xFF));
        out.push_back(static_cast<uint8_t>((unit >> 8) & 0xFF));
    }
}

bool GetText(const uint8_t* p, uint32_t units, std::wstring* text) {
    text->resize(units);
    for (uint32_t i = 0; i < units; ++i) {
        const wchar_t unit = static_cast<wchar_t>(p[2 * i] | p[2 * i + 1] << 8);
        if (unit == L'\0') return false;  // a path with a NUL in it would name another file
        (*text)[i] = unit;
    }
    return true;
}

bool KnownKind(uint32_t kind) {
    return kind >= static_cast<uint32_t>(JournalKind::kFileCreated) && kind <= static_cast<uint32_t>(JournalKind::kStaging);
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::vector<uint8_t> EncodeJournalHeader(uint32_t appId) {
    std::vector<uint8_t> out(kMagic, kMagic + 4);
    PutU32(out, kJournalVersion);
    PutU32(out, appId);
    return out;
}

bool DecodeJournalHeader(const std::vector<uint8_t>& bytes, uint32_t appId, size_t* used) {
    if (bytes.size() < kHeaderBytes || std::memcmp(bytes.data(), kMagic, 4) != 0) return false;
    if (GetU32(bytes.data() + 4) != kJournalVersion || GetU32(bytes.data() + 8) != appId) return false;
    *used = kHeaderBytes;
    return true;
}

std::vector<uint8_t> EncodeJournalRecord(const JournalRecord& record) {
    if (record.path.size() > kMaxTextUnits || record.other.size() > kMaxTextUnits) return {};
    const size_t total = kRecordFixedBytes + 4 + 2 * (record.path.size() + record.other.size()) + record.data.size();
    if (total > kMaxJournalRecordBytes) return {};
    std::vector<uint8_t> out;
    out.reserve(total);
    PutU32(out, static_cast<uint32_t>(total));
    PutU32(out, 0);  // the checksum, filled in below
    PutU32(out, static_cast<uint32_t>(record.kind));
    PutU32(out, record.view);
    PutU32(out, record.hadValue);
    PutU32(out, record.valueType);
    PutU32(out, static_cast<uint32_t>(record.path.size()));
    PutU32(out, static_cast<uint32_t>(record.other.size()));
    PutU32(out, static_cast<uint32_t>(record.data.size()));
    PutText(out, record.path);
    PutText(out, record.other);
    out.insert(out.end(), record.data.begin(), record.data.end());
    const uint32_t crc = Crc32(out.data() + 8, out.size() - 8);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(crc >> (8 * i));
    return out;
}

JournalRead DecodeJournalRecord(const std::vector<uint8_t>& bytes, size_t* offset, JournalRecord* record) {
    const size_t left = bytes.size() - *offset;
    if (left == 0) return JournalRead::kEnd;
    if (left < 4) return JournalRead::kEnd;
    const uint8_t* p = bytes.data() + *offset;
    const uint32_t total = GetU32(p);
    if (total < kRecordFixedBytes + 4 || total > kMaxJournalRecordBytes) return JournalRead::kDamaged;
    if (total > left) return JournalRead::kEnd;  // the last write was cut off: that change was never made
    if (Crc32(p + 8, total - 8) != GetU32(p + 4)) return JournalRead::kDamaged;
    const uint32_t kind = GetU32(p + 8);
    const uint32_t pathUnits = GetU32(p + 24), otherUnits = GetU32(p + 28), dataBytes = GetU32(p + 32);
    if (!KnownKind(kind) || pathUnits > kMaxTextUnits || otherUnits > kMaxTextUnits) return JournalRead::kDamaged;
    if (uint64_t{kRecordFixedBytes} + 4 + 2ull * (uint64_t{pathUnits} + otherUnits) + dataBytes != total)
        return JournalRead::kDamaged;
    record->kind = static_cast<JournalKind>(kind);
    record->view = GetU32(p + 12);
    record->hadValue = GetU32(p + 16);
    record->valueType = GetU32(p + 20);
    const uint8_t* text = p + kRecordFixedBytes + 4;
    if (!GetText(text, pathUnits, &record->path)) return JournalRead::kDamaged;
    if (!GetText(text + 2 * pathUnits, otherUnits, &record->other)) return JournalRead::kDamaged;
    const uint8_t* data = text + 2 * (pathUnits + otherUnits);
    record->data.assign(data, data + dataBytes);
    *offset += total;
    return JournalRead::kRecord;
}

}  // namespace orv
