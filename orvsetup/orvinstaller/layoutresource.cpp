// The application's reading of the layout resource, with its trace lines.
#include "layoutresource.h"

#include "ui/layoutdocument.h"
#include "utility/trace.h"
#include "utility/textconv.h"

#define ORV_TRACE_SOURCE L"orvinstaller"

namespace orv {

bool LoadLayoutDocument(HINSTANCE instance, pugi::xml_document& document) {
    const ORVUE::LayoutLoad layout = ORVUE::LoadLayoutResource(instance, document);
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
    if (!layout.parsed) {
        const std::string description = layout.parsed.description();
        TraceLine(L"Load_buffer failed, %ls\r\n", AnsiToWide(description.data(), description.size()).c_str());
        return false;
    }
    return true;
}

}  // namespace orv
