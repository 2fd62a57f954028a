// Layout resource loading and the dialog window class.
#include "layoutresource.h"

#include "appinstance.h"
#include "orvscriptengine/scripttrace.h"
#include "orvscriptengine/textconv.h"
#include "../common/utility/scopeguard.h"

#define ORV_TRACE_SOURCE L"orvinstaller"

namespace orv {

void RegisterDialogClass(HINSTANCE instance) {
    WNDCLASSW cls = {};
    if (!::GetClassInfoW(instance, L"#32770", &cls)) return;
    cls.hInstance = instance;
    cls.lpszClassName = kDialogClassName;
    ::RegisterClassW(&cls);  // already registered, or refused: the dialogs will report it
}

bool LoadLayoutDocument(HINSTANCE instance, pugi::xml_document& document) {
    HRSRC info = ::FindResourceW(instance, L"LAYOUT.XML", L"XML");
    HGLOBAL loaded = info ? ::LoadResource(instance, info) : nullptr;
    if (!loaded) {
        ORV_FAILURE_TRAILER(L"LoadResource failed. type : XML, id : LAYOUT.XML");
        return false;
    }
    auto release = MakeScopeExit([loaded] { ::FreeResource(loaded); });
    const void* data = ::LockResource(loaded);
    if (!data) {
        ORV_FAILURE_TRAILER(L"LockResource failed.");
        return false;
    }
    const DWORD size = ::SizeofResource(instance, info);
    if (size == 0) {
        TraceLine(L"ResSize == 0\r\n");
        return false;
    }
    RegisterDialogClass(instance);
    const pugi::xml_parse_result result =
        document.load_buffer(data, size, pugi::parse_default, pugi::encoding_utf16_le);
    if (!result) {
        const std::string description = result.description();
        TraceLine(L"Load_buffer failed, %s\r\n", AnsiToWide(description.data(), description.size()).c_str());
        return false;
    }
    return true;
}

}  // namespace orv
