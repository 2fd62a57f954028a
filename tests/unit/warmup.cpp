// What this program keeps for its whole life once a test first asks for it, made before the first test
// so that the handle check counts from there: the program file the archive actions read through, and the
// shell's internet-shortcut classes with the URL cache they open, and the users' registry root that the
// journal puts values back under.
#include <windows.h>
#include <intshcut.h>

#include "resourcecheck.h"
#include "utility/programfile.h"
#include "utility/uniquehandle.h"

namespace {

void WarmUp() {
    orv::ProgramFile::Instance();
    {
        orv::UniqueHKey users;
        ::RegOpenKeyExW(HKEY_USERS, L".DEFAULT", 0, KEY_READ, users.Put());
    }
    {
        const orv::ComInit com;
        orv::ComRef<IUniformResourceLocatorW> url;
        if (SUCCEEDED(::CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IUniformResourceLocatorW, url.Put())))
            url->SetURL(L"http://example.com/", 0);
    }
}

const bool g_warmUp = (orv::test::SetResourceCheckWarmUp(WarmUp), true);

}  // namespace
