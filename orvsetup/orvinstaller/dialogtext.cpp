// Placeholders, text boxes and check boxes as the dialogs read and write them.
#include "dialogtext.h"

#include "orvscriptengine/scriptglobals.h"
#include "utility/textconv.h"
#include "utility/trace.h"

namespace orv {

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
    if (from.empty()) return text;
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

bool FindPlaceholder(const std::wstring& text, std::wstring& name) {
    const size_t first = text.find(L'$');
    if (first == std::wstring::npos) return false;
    const size_t second = text.find(L'$', first + 1);
    if (second == std::wstring::npos) return false;
    name = text.substr(first + 1, second - first - 1);
    return true;
}

std::vector<ORVUE::TextBoxUIObjectImpl*> TextBoxesOf(const ORVUE::ContainerUIObjectImpl* root) {
    if (!root) return {};
    return root->CollectControlsOfType<ORVUE::TextBoxUIObjectImpl>();
}

std::vector<ORVUE::CheckBoxUIObjectImpl*> CheckBoxesOf(const ORVUE::ContainerUIObjectImpl* root) {
    if (!root) return {};
    return root->CollectControlsOfType<ORVUE::CheckBoxUIObjectImpl>();
}

std::wstring TextOfBox(ORVUE::IORVBaseUIObject* box) {
    auto* textBox = dynamic_cast<ORVUE::TextBoxUIObjectImpl*>(box);
    return textBox ? textBox->GetText() : std::wstring();
}

void SetTextOfBox(ORVUE::IORVBaseUIObject* box, const std::wstring& text) {
    if (auto* textBox = dynamic_cast<ORVUE::TextBoxUIObjectImpl*>(box)) textBox->SetText(text.c_str());
}

void PublishCheckBoxes(lua_State* L, const ORVUE::ContainerUIObjectImpl* root, bool traceChecked) {
    for (ORVUE::CheckBoxUIObjectImpl* box : CheckBoxesOf(root)) {
        const bool checked = box->IsChecked() != FALSE;
        SetGlobalFlag(L, WideToUtf8(box->GetName()).c_str(), checked);
        if (checked && traceChecked) TraceLine(L"check Name = %ls", box->GetName().c_str());
    }
}

}  // namespace orv
