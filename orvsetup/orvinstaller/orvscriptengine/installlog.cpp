// The install log's text form: a header line, then one entry a line, fields separated by tabs, each field
// with its tabs, line ends, percent signs and other control characters written as %XX.
#include "orvscriptengine/installlog.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "utility/fileio.h"
#include "utility/textconv.h"
#include "utility/trace.h"
#include "utility/uniquehandle.h"

namespace orv {
namespace {

constexpr char kHeader[] = "ORV install record\t1";
constexpr size_t kMaxField = 32767;

std::string Field(const std::wstring& text) {
    std::string out;
    for (const char c : WideToUtf8(text)) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == '%' || u == 0x7F) {
            char escaped[4];
            std::snprintf(escaped, sizeof(escaped), "%%%02X", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

bool Unfield(const std::string& field, std::wstring* text) {
    std::string raw;
    for (size_t k = 0; k < field.size(); ++k) {
        if (field[k] != '%') {
            raw += field[k];
            continue;
        }
        if (k + 2 >= field.size() || !std::isxdigit(static_cast<unsigned char>(field[k + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(field[k + 2])))
            return false;
        const unsigned long value = std::strtoul(field.substr(k + 1, 2).c_str(), nullptr, 16);
        if (value == 0) return false;  // no NUL inside a name
        raw += static_cast<char>(value);
        k += 2;
    }
    if (!IsUtf8(raw.data(), raw.size())) return false;
    *text = Utf8ToWide(raw);
    return text->size() <= kMaxField;
}

const char* KindTag(EntryKind kind) {
    switch (kind) {
        case EntryKind::kFile: return "F";
        case EntryKind::kFolder: return "D";
        case EntryKind::kRegKey: return "K";
        case EntryKind::kRegValue: return "V";
        case EntryKind::kShortcut: return "S";
        case EntryKind::kOutside: return "X";
    }
    return "?";
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

bool ParseView(const std::string& field, REGSAM* view) {
    if (field == "0") *view = 0;
    else if (field == "32") *view = KEY_WOW64_32KEY;
    else if (field == "64") *view = KEY_WOW64_64KEY;
    else return false;
    return true;
}

const char* ViewTag(REGSAM view) {
    return view == KEY_WOW64_32KEY ? "32" : view == KEY_WOW64_64KEY ? "64" : "0";
}

// One entry from its fields; false for anything malformed.
bool ParseEntry(const std::vector<std::string>& f, RecordEntry* e) {
    if (f.empty() || f[0].size() != 1) return false;
    const bool createdFlag = f.size() > 1 && (f[1] == "C" || f[1] == "R");
    switch (f[0][0]) {
        case 'F':
        case 'S':
        case 'D':
            e->kind = f[0][0] == 'F' ? EntryKind::kFile : f[0][0] == 'S' ? EntryKind::kShortcut : EntryKind::kFolder;
            e->created = f.size() > 1 && f[1] == "C";
            return f.size() == 3 && createdFlag && Unfield(f[2], &e->path) && !e->path.empty();
        case 'K':
            e->kind = EntryKind::kRegKey;
            return f.size() == 4 && ParseView(f[1], &e->view) && Unfield(f[2], &e->root) && Unfield(f[3], &e->key) &&
                   !e->key.empty();
        case 'V':
            e->kind = EntryKind::kRegValue;
            e->created = f.size() > 1 && f[1] == "C";
            return f.size() == 6 && createdFlag && ParseView(f[2], &e->view) && Unfield(f[3], &e->root) &&
                   Unfield(f[4], &e->key) && Unfield(f[5], &e->valueName) && !e->key.empty();
        case 'X':
            e->kind = EntryKind::kOutside;
            return f.size() == 4 && Unfield(f[1], &e->undo) && Unfield(f[2], &e->path) &&
                   Unfield(f[3], &e->description) && !e->path.empty();
    }
    return false;
}

}  // namespace

std::string FormatLog(const std::vector<RecordEntry>& entries) {
    std::string text = std::string(kHeader) + "\r\n";
    for (const RecordEntry& e : entries) {
        std::string line = KindTag(e.kind);
        switch (e.kind) {
            case EntryKind::kFile:
            case EntryKind::kFolder:
            case EntryKind::kShortcut:
                line += std::string("\t") + (e.created ? "C" : "R") + "\t" + Field(e.path);
                break;
            case EntryKind::kRegKey:
                line += std::string("\t") + ViewTag(e.view) + "\t" + Field(e.root) + "\t" + Field(e.key);
                break;
            case EntryKind::kRegValue:
                line += std::string("\t") + (e.created ? "C" : "R") + "\t" + ViewTag(e.view) + "\t" + Field(e.root) +
                        "\t" + Field(e.key) + "\t" + Field(e.valueName);
                break;
            case EntryKind::kOutside:
                line += "\t" + Field(e.undo) + "\t" + Field(e.path) + "\t" + Field(e.description);
                break;
        }
        text += line + "\r\n";
    }
    return text;
}

LogRead ParseLog(const std::string& text, const std::wstring& file, std::vector<RecordEntry>* entries) {
    entries->clear();
    size_t start = 0, number = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (number++ == 0) {
            if (line != kHeader) {
                TraceLine(L"Fun:Lua_RemoveInstallLog, Description:%ls is no install log of this version, refused\r\n",
                          file.c_str());
                return LogRead::kRefused;
            }
            continue;
        }
        if (line.empty()) continue;
        RecordEntry entry;
        if (entries->size() >= kMaxLogEntries || !ParseEntry(SplitTabs(line), &entry)) {
            TraceLine(L"Fun:Lua_RemoveInstallLog, Description:line %u of %ls left out, it is no entry\r\n",
                      static_cast<unsigned>(number), file.c_str());
            continue;
        }
        entries->push_back(entry);
    }
    if (number == 0) {
        TraceLine(L"Fun:Lua_RemoveInstallLog, Description:%ls is empty, refused\r\n", file.c_str());
        return LogRead::kRefused;
    }
    return LogRead::kRead;
}

LogRead ReadLog(const std::wstring& file, std::vector<RecordEntry>* entries) {
    entries->clear();
    const UniqueFileHandle handle = CreateFileHandle(file.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (!handle) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? LogRead::kMissing : LogRead::kRefused;
    }
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(handle.Get(), &size) || size.QuadPart > static_cast<LONGLONG>(kMaxLogBytes)) {
        TraceLine(L"Fun:Lua_RemoveInstallLog, Description:%ls is larger than %u bytes, refused\r\n", file.c_str(),
                  static_cast<unsigned>(kMaxLogBytes));
        return LogRead::kRefused;
    }
    std::string text(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!text.empty() && (!ReadFileAt(handle.Get(), 0, &text[0], static_cast<DWORD>(text.size()), &got) ||
                          got != text.size()))
        return LogRead::kRefused;
    return ParseLog(text, file, entries);
}

bool WriteLog(const std::wstring& file, const std::vector<RecordEntry>& entries) {
    const std::string text = FormatLog(entries);
    const std::wstring next = file + L".new";
    {
        const UniqueFileHandle handle = CreateFileHandle(next.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS);
        if (!handle || !WriteAllBytes(handle.Get(), text.data(), text.size()) || !::FlushFileBuffers(handle.Get())) {
            TraceLine(L"Fun:Lua_WriteInstallLog, Description:cannot write %ls, error %u\r\n", next.c_str(),
                      static_cast<unsigned>(::GetLastError()));
            ::DeleteFileW(next.c_str());
            return false;
        }
    }
    if (!::MoveFileExW(next.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        TraceLine(L"Fun:Lua_WriteInstallLog, Description:cannot put %ls in place, error %u\r\n", file.c_str(),
                  static_cast<unsigned>(::GetLastError()));
        ::DeleteFileW(next.c_str());
        return false;
    }
    return true;
}

}  // namespace orv
