// The first dialog's warm-up thread: reads the layout on its own, then decodes the dialog's images in
// document order. Nothing here traces or shows: whatever fails is done again, and reported, by the dialog.
#include "dialogwarmup.h"

#include <pugixml.hpp>

#include <cwchar>
#include <vector>

#include "dialogsequence.h"
#include "ui/gdiplussession.h"
#include "ui/layoutdocument.h"
#include "ui/layoutvalues.h"
#include "utility/scopeguard.h"

namespace orv {
namespace {

using ImageKeys = std::vector<ORVUE::PreparedImages::Key>;

// The images the dialog's elements name, in document order (labels name none).
void Collect(pugi::xml_node node, ImageKeys& keys) {
    for (pugi::xml_node element = node.first_child(); element; element = element.next_sibling()) {
        if (element.type() != pugi::node_element) continue;
        const wchar_t* name = element.name();
        const UINT resId = ORVUE::ReadUInt(element, L"resId", 0);
        const std::wstring type = ORVUE::ReadString(element, L"type");
        const bool label = std::wcscmp(name, L"Label") == 0 || std::wcscmp(name, L"LinkLabel") == 0;
        if (resId != 0 && !type.empty() && !label) keys.push_back(ORVUE::PreparedImages::MakeKey(type.c_str(), resId));
        Collect(element, keys);
    }
}

bool ReadImageKeys(HINSTANCE instance, const wchar_t* dialog, ImageKeys& keys) {
    pugi::xml_document document;
    if (!ORVUE::LoadLayoutResource(instance, document).Ok()) return false;
    const pugi::xml_node node = FindDialogNode(document, dialog);
    if (!node) return false;
    Collect(node, keys);
    return true;
}

}  // namespace

DialogWarmUp::DialogWarmUp(HINSTANCE instance, const wchar_t* dialogName) : instance_(instance), dialog_(dialogName) {
    thread_.Reset(::CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
    if (!thread_) images_.Finish();  // nothing comes: every image is decoded where it is needed
    ORVUE::SetPreparedImages(&images_);
}

DialogWarmUp::~DialogWarmUp() {
    ::InterlockedExchange(&stop_, 1);
    if (thread_) ::WaitForSingleObject(thread_.Get(), INFINITE);
    ORVUE::SetPreparedImages(nullptr);
}

DWORD WINAPI DialogWarmUp::ThreadMain(void* self) {
    auto* warmUp = static_cast<DialogWarmUp*>(self);
    auto finish = MakeScopeExit([warmUp] { warmUp->images_.Finish(); });
    try {
        warmUp->Run();
    } catch (...) {  // out of memory: the dialog does the rest itself
    }
    return 0;
}

void DialogWarmUp::Run() {
    if (!ORVUE::EnsureGdiplus()) return;
    ImageKeys keys;
    if (Stopping() || !ReadImageKeys(instance_, dialog_.c_str(), keys)) return;
    images_.Plan(keys);
    for (const ORVUE::PreparedImages::Key& key : keys) {
        if (Stopping()) return;
        images_.Put(key, ORVUE::ImageObject::Prepare(key.first.c_str(), key.second));
    }
    images_.Finish();
}

}  // namespace orv
