// Renders the shipped layout's dialogs without windows of their own: saves each as a PNG file, or times
// repaints of one dialog's tree.
//
//   orvrender save FOLDER            one <name>.png per <Dlg> of the layout
//   orvrender bench DIALOG FRAMES    median milliseconds of clearing and painting the dialog's whole tree
//   orvrender profile DIALOG FRAMES  the same for each control of the tree on its own
#include <windows.h>
#include <gdiplus.h>

#include <pugixml.hpp>

#include <algorithm>
#include <functional>
#include <typeinfo>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "ui/carouseluiobject.h"
#include "ui/containeruiobject.h"
#include "ui/gdiplussession.h"
#include "ui/layoutdocument.h"
#include "ui/paintsurface.h"
#include "ui/uierror.h"
#include "ui/uiobjectfactory.h"

namespace {

// A hidden window that owns a tree while it is painted.
class OwnerWindow {
public:
    OwnerWindow() {
        hwnd_ = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    }
    ~OwnerWindow() {
        ORVUE::UIObjectFactory::Instance().Release(hwnd_);
        if (hwnd_) ::DestroyWindow(hwnd_);
    }
    HWND Get() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

int Size(pugi::xml_node dialog, const wchar_t* name, int fallback) {
    const pugi::xml_attribute attribute = dialog.attribute(name);
    return attribute ? attribute.as_int() : fallback;
}

// Paints the dialog's tree into `surface`; false when it cannot be built.
bool PaintDialog(pugi::xml_node dialog, HWND owner, ORVUE::PaintSurface& surface) {
    ORVUE::IORVBaseUIObject* root = ORVUE::UIObjectFactory::Instance().Build(owner, dialog.child(L"Container"));
    if (!root) return false;
    surface.Fill(0);
    root->Paint(surface.Graphics());
    surface.Graphics().Flush(Gdiplus::FlushIntentionSync);
    return true;
}

int Save(const pugi::xml_document& layout, const std::wstring& folder) {
    int failures = 0;
    for (pugi::xml_node dialog = layout.first_child().child(L"Dlg"); dialog; dialog = dialog.next_sibling(L"Dlg")) {
        const std::wstring name = dialog.attribute(L"name").value();
        OwnerWindow owner;
        ORVUE::PaintSurface surface(Size(dialog, L"width", 400), Size(dialog, L"height", 300));
        const std::wstring path = folder + L"\\" + name + L".png";
        if (!surface.Valid() || !PaintDialog(dialog, owner.Get(), surface) || !surface.SavePng(path.c_str())) {
            std::fwprintf(stderr, L"%ls: could not be rendered\n", name.c_str());
            ++failures;
            continue;
        }
        std::wprintf(L"%ls\n", path.c_str());
    }
    return failures == 0 ? 0 : 1;
}

double MedianMs(int frames, const std::function<void()>& paint) {
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    for (int i = 0; i < frames; ++i) {
        ::QueryPerformanceCounter(&start);
        paint();
        ::QueryPerformanceCounter(&end);
        times.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// One line per control of the tree: its class, name and median paint time.
void ProfileControls(ORVUE::ContainerUIObjectImpl* container, ORVUE::PaintSurface& surface, int frames) {
    for (const auto& child : container->Containers()) {
        if (auto* inner = dynamic_cast<ORVUE::ContainerUIObjectImpl*>(child.get())) ProfileControls(inner, surface, frames);
    }
    for (const auto& control : container->Controls()) {
        const RECT r = container->GetRect();
        const double ms = MedianMs(frames, [&] {
            surface.Graphics().SetClip(Gdiplus::Rect(r.left, r.top, r.right - r.left, r.bottom - r.top));
            control->Paint(surface.Graphics());
            surface.Graphics().ResetClip();
            surface.Graphics().Flush(Gdiplus::FlushIntentionSync);
        });
        std::wprintf(L"%8.3f %hs %ls\n", ms, typeid(*control).name(), control->GetName().c_str());
    }
}

int Bench(const pugi::xml_document& layout, const wchar_t* name, int frames, bool perControl) {
    pugi::xml_node dialog = layout.first_child().find_child_by_attribute(L"Dlg", L"name", name);
    if (!dialog) return 2;
    OwnerWindow owner;
    ORVUE::PaintSurface surface(Size(dialog, L"width", 400), Size(dialog, L"height", 300));
    ORVUE::IORVBaseUIObject* root = ORVUE::UIObjectFactory::Instance().Build(owner.Get(), dialog.child(L"Container"));
    if (!surface.Valid() || !root) return 2;
    if (perControl) {
        ProfileControls(dynamic_cast<ORVUE::ContainerUIObjectImpl*>(root), surface, frames);
        return 0;
    }
    std::wprintf(L"%.3f\n", MedianMs(frames, [&] {
        surface.Fill(0);
        root->Paint(surface.Graphics());
        surface.Graphics().Flush(Gdiplus::FlushIntentionSync);
    }));
    // Half way through a cross-fade of every carousel.
    auto* tree = dynamic_cast<ORVUE::ContainerUIObjectImpl*>(root);
    const auto carousels = tree->CollectControlsOfType<ORVUE::CarouselUIObjectImpl>();
    if (carousels.empty()) return 0;
    for (ORVUE::CarouselUIObjectImpl* carousel : carousels) {
        carousel->Play();
        for (int tick = 0; tick < 4; ++tick) carousel->OnTimer(carousel->FadeTimerId());
    }
    std::wprintf(L"fading %.3f\n", MedianMs(frames, [&] {
        surface.Fill(0);
        root->Paint(surface.Graphics());
        surface.Graphics().Flush(Gdiplus::FlushIntentionSync);
    }));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    pugi::xml_document layout;
    if (!ORVUE::EnsureGdiplus() || !ORVUE::LoadLayoutResource(::GetModuleHandleW(nullptr), layout).Ok()) {
        std::fwprintf(stderr, L"GDI+ or the layout is not available\n");
        return 2;
    }
    try {
        if (argc == 3 && std::wcscmp(argv[1], L"save") == 0) return Save(layout, argv[2]);
        if (argc == 4 && std::wcscmp(argv[1], L"bench") == 0) return Bench(layout, argv[2], std::max(1, _wtoi(argv[3])), false);
        if (argc == 4 && std::wcscmp(argv[1], L"profile") == 0) return Bench(layout, argv[2], std::max(1, _wtoi(argv[3])), true);
    } catch (const ORVUE::UIError& error) {
        std::fwprintf(stderr, L"the layout's objects could not be built, hr=0x%08lX\n", static_cast<unsigned long>(error.Error()));
        return 2;
    }
    std::fwprintf(stderr, L"usage: orvrender save FOLDER | orvrender bench|profile DIALOG FRAMES\n");
    return 2;
}
