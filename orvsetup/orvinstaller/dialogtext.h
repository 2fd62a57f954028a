// Text helpers the dialogs share: placeholders naming script globals, and text-box access.
#pragma once

#include <string>
#include <vector>

#include "orvscriptengine/luaapi.h"
#include "ui/checkboxuiobject.h"
#include "ui/containeruiobject.h"
#include "ui/textboxuiobject.h"

namespace orv {

// Replaces every occurrence of `from` in `text` with `to`.
std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to);

// The first "$name$" of `text`: true with the name when there are two dollar signs.
bool FindPlaceholder(const std::wstring& text, std::wstring& name);

// Every text box and every check box below `root`, in tree order.
std::vector<ORVUE::TextBoxUIObjectImpl*> TextBoxesOf(const ORVUE::ContainerUIObjectImpl* root);
std::vector<ORVUE::CheckBoxUIObjectImpl*> CheckBoxesOf(const ORVUE::ContainerUIObjectImpl* root);
std::wstring TextOfBox(ORVUE::IORVBaseUIObject* box);
void SetTextOfBox(ORVUE::IORVBaseUIObject* box, const std::wstring& text);

// One boolean global per check box below `root`, named after it, holding its state.
void PublishCheckBoxes(lua_State* L, const ORVUE::ContainerUIObjectImpl* root, bool traceChecked);

}  // namespace orv
