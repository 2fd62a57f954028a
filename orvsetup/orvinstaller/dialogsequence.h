// The interactive half of the run: the options and progress dialogs, later the finish dialog.
#pragma once

#include <windows.h>

#include <pugixml.hpp>

#include "orvscriptengine/luaapi.h"

namespace orv {

// The first <Dlg> child of the document's root whose name is `name`; an empty node when none.
pugi::xml_node FindDialogNode(const pugi::xml_document& document, const wchar_t* name);

// Options dialog, ORVSE_BeforeInstall, progress dialog: 1 when both dialogs closed with 1, else 0.
int RunInstallDialogs(HINSTANCE instance, lua_State* L, const pugi::xml_document& document);
// The finish dialog: 1 when it closed with 1, else 0.
int RunFinishDialog(HINSTANCE instance, lua_State* L, const pugi::xml_document& document);

}  // namespace orv
