// Layout resource loading and the dialog window class.
#include "layoutresource.h"

#include "appinstance.h"
#include "utility/trace.h"
#include "utility/textconv.h"
#include "utility/resourcedata.h"

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
    const ResourceBytes layout = LoadResourceBytes(instance, L"XML", L"LAYOUT.XML");
    switch (layout.status) {
        case ResourceStatus::kNotLoaded:
            ORV_FAILURE_TRAILER(L"LoadResource failed. type : XML, id : LAYOUT.XML", layout.error);
            return false;
        case ResourceStatus::kNotLocked:
            ORV_FAILURE_TRAILER(L"LockResource failed.", layout.error);
            return false;
        case ResourceStatus::kEmpty:
            TraceLine(L"ResSize == 0\r\n");
            return false;
        case ResourceStatus::kLoaded:
            break;
    }
    RegisterDialogClass(instance);
    const pugi::xml_parse_result result =
        document.load_buffer(layout.data, layout.size, pugi::parse_default, pugi::encoding_utf16_le);
    if (!result) {
        const std::string description = result.description();
        TraceLine(L"Load_buffer failed, %ls\r\n", AnsiToWide(description.data(), description.size()).c_str());
        return false;
    }
    return true;
}

}  // namespace orv
