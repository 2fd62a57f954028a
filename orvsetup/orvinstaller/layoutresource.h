// The skin layout document from the program's resources.
#pragma once

#include <windows.h>

#include <pugixml.hpp>

namespace orv {

// Loads resource XML/LAYOUT.XML (UTF-16LE) into `document`.
// False, with its trace lines written, when the resource is missing, empty or does not parse.
bool LoadLayoutDocument(HINSTANCE instance, pugi::xml_document& document);

}  // namespace orv
