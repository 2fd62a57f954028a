// The skin layout document from the program's resources.
#pragma once

#include <windows.h>

#include <pugixml.hpp>

namespace orv {

// Registers the dialog window class: a copy of the system dialog class under our own name.
void RegisterDialogClass(HINSTANCE instance);

// Loads resource XML/LAYOUT.XML (UTF-16LE) into `document`, registering the dialog class on the way.
// False, with its trace lines written, when the resource is missing, empty or does not parse.
bool LoadLayoutDocument(HINSTANCE instance, pugi::xml_document& document);

}  // namespace orv
