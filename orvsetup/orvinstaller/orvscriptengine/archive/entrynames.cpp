// Entry names checked the way Windows resolves them.
#include "orvscriptengine/archive/entrynames.h"

#include <windows.h>

#include <map>
#include <set>

namespace orv {
namespace {

// Windows' own ordering of names without regard to letter case.
struct FoldLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                      TRUE) == CSTR_LESS_THAN;
    }
};

bool FoldEqual(wchar_t a, wchar_t b) {
    return ::CompareStringOrdinal(&a, 1, &b, 1, TRUE) == CSTR_EQUAL;
}

// A component as the system stores it: trailing dots and spaces dropped.
std::wstring Trimmed(const std::wstring& part) {
    const size_t end = part.find_last_not_of(L". ");
    return end == std::wstring::npos ? std::wstring() : part.substr(0, end + 1);
}

// The name's components, separated by either slash, each trimmed.
std::vector<std::wstring> Components(const std::wstring& name) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of(L"/\\", start);
        if (end == std::wstring::npos) end = name.size();
        const std::wstring part = Trimmed(name.substr(start, end - start));
        if (!part.empty()) parts.push_back(part);
        start = end + 1;
    }
    return parts;
}

bool IsShortNameCharacter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') ||
           (c < 0x80 && std::wstring(L"$%'-_@~`!(){}^#&").find(c) != std::wstring::npos);
}

// Whether the name fits 8.3 as it is, so that the system gives it no alias of its own.
bool FitsShortName(const std::wstring& part) {
    const size_t dot = part.find(L'.');
    const size_t base = dot == std::wstring::npos ? part.size() : dot;
    if (base == 0 || base > 8 || (dot != std::wstring::npos && (part.size() - dot - 1 > 3 || part.find(L'.', dot + 1) != std::wstring::npos)))
        return false;
    for (size_t i = 0; i < part.size(); ++i)
        if (i != dot && !IsShortNameCharacter(part[i])) return false;
    return true;
}

// Whether the name has the shape of an alias the system makes: up to eight characters with "~" and
// digits at the end of the base, and an extension of up to three.
bool IsAliasShaped(const std::wstring& part) {
    if (!FitsShortName(part)) return false;
    const size_t dot = part.find(L'.');
    const size_t base = dot == std::wstring::npos ? part.size() : dot;
    const size_t tilde = part.rfind(L'~', base - 1);
    if (tilde == std::wstring::npos || tilde == 0 || tilde + 1 == base) return false;
    for (size_t i = tilde + 1; i < base; ++i)
        if (part[i] < L'0' || part[i] > L'9') return false;
    return true;
}

// Whether `alias` may be the alias the system gives the long name `name`: every alias begins with the
// first character of the name that may stand in an 8.3 name (others become "_").
bool MayBeAliasOf(const std::wstring& alias, const std::wstring& name) {
    if (FitsShortName(name)) return false;
    const size_t first = name.find_first_not_of(L". ");
    if (first == std::wstring::npos) return false;
    const wchar_t c = name[first];
    return !IsShortNameCharacter(c) || alias[0] == L'_' || FoldEqual(alias[0], c);
}

std::wstring Join(const std::vector<std::wstring>& parts, size_t count) {
    std::wstring path;
    for (size_t i = 0; i < count; ++i) path += (i ? L"\\" : L"") + parts[i];
    return path;
}

}  // namespace

bool IsDeviceName(const std::wstring& part) {
    std::wstring base = part.substr(0, part.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    for (wchar_t& c : base)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices)
        if (base == device) return true;
    if (base.size() != 4 || (base.compare(0, 3, L"COM") != 0 && base.compare(0, 3, L"LPT") != 0)) return false;
    const wchar_t digit = base[3];
    return (digit >= L'0' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
}

bool IsSafeEntryName(const std::wstring& name) {
    if (name.empty() || name[0] == L'/' || name[0] == L'\\') return false;  // absolute, UNC, device path
    if (name.find(L':') != std::wstring::npos) return false;               // drive or alternate stream
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of(L"/\\", start);
        if (end == std::wstring::npos) end = name.size();
        const std::wstring part = name.substr(start, end - start);
        // Windows drops trailing dots and spaces, so "..", "... " and "." all name a folder above or here.
        if (!part.empty() && part.find_first_not_of(L". ") == std::wstring::npos) return false;
        if (IsDeviceName(part)) return false;
        start = end + 1;
    }
    return true;
}

bool FindNameClash(const std::vector<std::wstring>& names, std::wstring* first, std::wstring* second) {
    std::map<std::wstring, size_t, FoldLess> entries;                  // an entry's path: its index
    std::map<std::wstring, std::set<std::wstring, FoldLess>, FoldLess> children;  // a folder: what it holds
    for (size_t i = 0; i < names.size(); ++i) {
        const std::vector<std::wstring> parts = Components(names[i]);
        const auto placed = entries.emplace(Join(parts, parts.size()), i);
        if (!placed.second) {
            *first = names[placed.first->second];
            *second = names[i];
            return true;
        }
        for (size_t depth = 0; depth < parts.size(); ++depth) children[Join(parts, depth)].insert(parts[depth]);
    }
    for (const auto& folder : children) {
        for (const std::wstring& alias : folder.second) {
            if (!IsAliasShaped(alias)) continue;
            for (const std::wstring& name : folder.second) {
                if (!MayBeAliasOf(alias, name)) continue;
                const std::wstring prefix = folder.first.empty() ? folder.first : folder.first + L"\\";
                *first = prefix + name;
                *second = prefix + alias;
                return true;
            }
        }
    }
    return false;
}

}  // namespace orv
