// Reading the layout resource.
#include "ui/layoutdocument.h"

namespace ORVUE {

LayoutLoad LoadLayoutResource(HINSTANCE instance, pugi::xml_document& document) {
    LayoutLoad load;
    const orv::ResourceBytes layout = orv::LoadResourceBytes(instance, L"XML", L"LAYOUT.XML");
    load.status = layout.status;
    load.error = layout.error;
    if (layout.status == orv::ResourceStatus::kLoaded)
        load.parsed = document.load_buffer(layout.data, layout.size, pugi::parse_default, pugi::encoding_utf16_le);
    return load;
}

}  // namespace ORVUE
