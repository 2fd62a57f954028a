// The layout document's value syntax: rectangles, colours, booleans, numbers and strings.
#include "ui/layoutvalues.h"

#include <cstdio>
#include <cwchar>

namespace ORVUE {

RECT ReadRect(pugi::xml_node node, const wchar_t* name, RECT start) {
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute) return start;
    int l = start.left, t = start.top, r = start.right, b = start.bottom;
    std::swscanf(attribute.value(), L"%d,%d,%d,%d", &l, &t, &r, &b);
    return RECT{l, t, r, b};
}

TextColour ReadColour(pugi::xml_node node, const wchar_t* name) {
    TextColour colour;
    const pugi::xml_attribute attribute = node.attribute(name);
    if (attribute) {
        unsigned short r = 0, g = 0, b = 0;
        std::swscanf(attribute.value(), L"%hu,%hu,%hu", &r, &g, &b);
        colour = TextColour{r, g, b};
    }
    return colour;
}

BOOL ReadBool(pugi::xml_node node, const wchar_t* name, BOOL fallback) {
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute) return fallback;
    const wchar_t first = attribute.value()[0];
    return first != L'\0' && std::wcschr(L"1tTyY", first) != nullptr;
}

int ReadInt(pugi::xml_node node, const wchar_t* name, int fallback) {
    const pugi::xml_attribute attribute = node.attribute(name);
    return attribute ? static_cast<int>(std::wcstol(attribute.value(), nullptr, 10)) : fallback;
}

UINT ReadUInt(pugi::xml_node node, const wchar_t* name, UINT fallback) {
    const pugi::xml_attribute attribute = node.attribute(name);
    return attribute ? static_cast<UINT>(std::wcstoul(attribute.value(), nullptr, 10)) : fallback;
}

std::wstring ReadString(pugi::xml_node node, const wchar_t* name, const wchar_t* fallback, bool emptyIsAbsent) {
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute || (emptyIsAbsent && attribute.value()[0] == L'\0')) return fallback;
    return attribute.value();
}

}  // namespace ORVUE
