// Attribute values of the layout document, read the way the loader reads them.
#pragma once

#include <windows.h>

#include <pugixml.hpp>

#include <string>

namespace ORVUE {

// "l,t,r,b": scanning stops at the first mismatch; values not read keep those of `start`.
RECT ReadRect(pugi::xml_node node, const wchar_t* name, RECT start);

struct TextColour {
    WORD r = 0, g = 0, b = 0;
};
// "r,g,b" as 16-bit numbers (users take the low 8 bits); absent or unread parts are 0.
TextColour ReadColour(pugi::xml_node node, const wchar_t* name);

// TRUE when the value starts with 1, t, T, y or Y; `fallback` when the attribute is absent.
BOOL ReadBool(pugi::xml_node node, const wchar_t* name, BOOL fallback);
// Decimal, leading part only; `fallback` when absent.
int ReadInt(pugi::xml_node node, const wchar_t* name, int fallback);
UINT ReadUInt(pugi::xml_node node, const wchar_t* name, UINT fallback);
// The attribute's text; `fallback` when absent, or also when empty if `emptyIsAbsent`.
std::wstring ReadString(pugi::xml_node node, const wchar_t* name, const wchar_t* fallback = L"",
                        bool emptyIsAbsent = false);

}  // namespace ORVUE
