// The skin layout document as a program carries it: resource XML/LAYOUT.XML, UTF-16LE.
#pragma once

#include <windows.h>

#include <pugixml.hpp>

#include "utility/resourcedata.h"

namespace ORVUE {

// How far reading the layout resource came. Nothing is traced here: each caller reports in its own way.
struct LayoutLoad {
    orv::ResourceStatus status = orv::ResourceStatus::kNotLoaded;
    DWORD error = 0;                // the failed resource call's last error
    pugi::xml_parse_result parsed;  // what parsing said, once the resource was loaded
    bool Ok() const { return status == orv::ResourceStatus::kLoaded && parsed; }
};

// Reads `instance`'s layout resource into `document`.
LayoutLoad LoadLayoutResource(HINSTANCE instance, pugi::xml_document& document);

}  // namespace ORVUE
