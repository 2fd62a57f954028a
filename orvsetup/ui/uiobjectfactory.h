// Turns a dialog's layout element into its UI object tree and keeps one tree per window.
#pragma once

#include <windows.h>

#include <pugixml.hpp>

#include <map>
#include <memory>

#include "ui/orvbaseuiobject.h"

namespace ORVUE {

class UIObjectFactory {
public:
    // The process-wide factory; trees still registered when the process ends are deleted then.
    static UIObjectFactory& Instance();

    // Builds the tree of the `Container` element `node` for `owner` and registers its root at once, so
    // that objects already built stay owned when a later one throws UIError. Returns the root registered
    // for the window: null when `node` is no `Container` (and nothing was registered before). A tree
    // registered earlier for the same window is deleted first.
    IORVBaseUIObject* Build(HWND owner, pugi::xml_node node);
    // Deletes the window's tree and forgets it.
    void Release(HWND owner);
    IORVBaseUIObject* Root(HWND owner) const;

    UIObjectFactory(const UIObjectFactory&) = delete;
    UIObjectFactory& operator=(const UIObjectFactory&) = delete;

private:
    UIObjectFactory() = default;
    ~UIObjectFactory();

    std::map<HWND, std::unique_ptr<IORVBaseUIObject>> roots_;
};

}  // namespace ORVUE
