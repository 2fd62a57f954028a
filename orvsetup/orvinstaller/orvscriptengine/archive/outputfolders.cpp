// Creating and entering output folders through their parents' listings.
#include "orvscriptengine/archive/outputfolders.h"

#include "utility/trace.h"

namespace orv {
namespace {

bool SameName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// The component as the system stores it: trailing dots and spaces dropped.
std::wstring Stored(const std::wstring& component) {
    const size_t end = component.find_last_not_of(L". ");
    return end == std::wstring::npos ? component : component.substr(0, end + 1);
}

// A name inside a verbatim folder path, which may end in a backslash (a drive's root).
std::wstring Child(const std::wstring& folder, const std::wstring& name) {
    return folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

}  // namespace

bool OutputFolders::Open(const std::wstring& destination) {
    names_.clear();
    ids_.clear();
    handles_.clear();
    root_ = VerbatimPath(destination);
    if (root_.empty()) return false;
    while (root_.size() > 7 && root_.back() == L'\\') root_.pop_back();  // "\\?\\C:\\" stays the root
    FolderIdentity identity;
    UniqueFileHandle root = OpenFolderHandle(root_, true);
    if (!root || !IdentityOf(root.Get(), &identity)) return false;
    volume_ = identity.volume;
    ids_.push_back(identity.id);
    handles_.push_back(std::move(root));
    return true;
}

void OutputFolders::Forget() {
    if (ids_.size() > 1) ids_.resize(1), handles_.resize(1);
    names_.clear();
}

bool OutputFolders::Enter(const std::vector<std::wstring>& components, bool* refused) {
    *refused = false;
    if (handles_.empty()) return false;
    size_t kept = 0;
    while (kept < names_.size() && kept < components.size() && SameName(names_[kept], Stored(components[kept])))
        ++kept;
    names_.resize(kept);
    ids_.resize(kept + 1);
    handles_.resize(kept + 1);
    for (size_t i = kept; i < components.size(); ++i)
        if (!EnterOne(Stored(components[i]), refused)) return false;
    return true;
}

std::wstring OutputFolders::Current() const {
    std::wstring folder = root_;
    for (const std::wstring& name : names_) folder = Child(folder, name);
    return folder;
}

UniqueFileHandle OutputFolders::OpenLister(const std::wstring& folder) const {
    // Opened from the folder's own handle where the system can: the same folder, whatever its path names now.
    UniqueFileHandle lister(::ReOpenFile(handles_.back().Get(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         FILE_FLAG_BACKUP_SEMANTICS));
    if (lister) return lister;
    lister = OpenFolderHandle(folder, names_.empty());
    FolderIdentity identity;
    if (lister && IdentityOf(lister.Get(), &identity) && identity.volume == volume_ && identity.id == ids_.back())
        return lister;
    TraceLine(L"Fun:Lua_UnCompress7z, Description:%ls changed while it was written to\r\n", folder.c_str() + 4);
    return UniqueFileHandle();
}

bool OutputFolders::MayReplace(const std::wstring& name) {
    const std::wstring folder = Current();
    const UniqueFileHandle lister = OpenLister(folder);
    if (!lister) return false;
    const std::wstring stored = Stored(name);
    for (const ListedEntry& entry : ListFolderEntry(lister.Get(), stored)) {
        const bool link = (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (!link && SameName(entry.name, stored)) continue;
        TraceLine(L"Fun:Lua_UnCompress7z, Description:%ls %ls; not written through\r\n",
                  Child(folder, entry.name).c_str() + 4,
                  link ? L"is a junction or a link" : L"has the name as its short name");
        return false;
    }
    return true;
}

bool OutputFolders::EnterOne(const std::wstring& component, bool* refused) {
    const std::wstring parent = Current();
    // Made first, so that only a folder already there has to be looked for among its parent's entries; a
    // junction or link in the way is not followed by the creation.
    const bool made = ::CreateDirectoryW(Child(parent, component).c_str(), nullptr) != FALSE;
    if (!made && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        TraceLine(L"Fun:Lua_UnCompress7z, Description:cannot create %ls\\%ls, error %u\r\n", parent.c_str() + 4,
                  component.c_str(), static_cast<unsigned>(::GetLastError()));
        return false;
    }
    if (made && created_ && !created_(Child(parent, component).substr(4))) {
        ::RemoveDirectoryW(Child(parent, component).c_str());
        TraceLine(L"Fun:Lua_UnCompress7z, Description:%ls\\%ls was refused and is removed again\r\n", parent.c_str() + 4,
                  component.c_str());
        return false;
    }
    const UniqueFileHandle lister = OpenLister(parent);
    if (!lister) return *refused = true, false;
    for (const ListedEntry& entry : ListFolderEntry(lister.Get(), component)) {
        const bool byName = SameName(entry.name, component);
        if (!byName && !(entry.shortName.size() && SameName(entry.shortName, component))) continue;
        const std::wstring path = Child(parent, entry.name);
        const bool isFile = !(entry.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
        const wchar_t* problem = !byName ? L"is the short name of another entry"
                               : (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? L"is a junction or a link"
                               : isFile                                            ? L"is a file"
                                                                                   : nullptr;
        UniqueFileHandle folder;
        if (!problem) {
            folder = OpenFolderHandle(path);
            if (!folder || !IsListedFolder(folder.Get(), entry, volume_)) problem = L"is not the folder listed";
        }
        if (problem) {
            *refused = !isFile || !byName;
            TraceLine(L"Fun:Lua_UnCompress7z, Description:%ls %ls; not entered\r\n", path.c_str() + 4, problem);
            return false;
        }
        names_.push_back(entry.name);
        ids_.push_back(entry.id);
        handles_.push_back(std::move(folder));
        return true;
    }
    *refused = true;  // not to be written into unseen
    TraceLine(L"Fun:Lua_UnCompress7z, Description:%ls\\%ls is not listed after it was made\r\n", parent.c_str() + 4,
              component.c_str());
    return false;
}

}  // namespace orv
