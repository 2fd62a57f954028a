// The layout loader: one pass over a dialog's element tree with an explicit stack, one recipe per element.
#include "ui/uiobjectfactory.h"

#include "ui/buttonuiobject.h"
#include "ui/carouseluiobject.h"
#include "ui/checkboxuiobject.h"
#include "ui/containeruiobject.h"
#include "ui/labeluiobject.h"
#include "ui/layoutvalues.h"
#include "ui/pictureuiobject.h"
#include "ui/progressuiobject.h"
#include "ui/textboxuiobject.h"
#include "utility/trace.h"

#include <cwchar>
#include <deque>
#include <memory>
#include <utility>

namespace ORVUE {
namespace {

constexpr RECT kNoRect = {0, 0, 0, 0};

// What every element carries.
struct Common {
    pugi::xml_node node;
    HWND owner;
    RECT rect;
    UINT resId;
    std::wstring type;
    std::wstring name;
    BOOL visible;
    BOOL enabled;
    std::wstring text;

    Common(pugi::xml_node element, HWND window)
        : node(element),
          owner(window),
          rect(ReadRect(element, L"rect", kNoRect)),
          resId(ReadUInt(element, L"resId", 0)),
          type(ReadString(element, L"type")),
          name(ReadString(element, L"name")),
          visible(ReadBool(element, L"visible", TRUE)),
          enabled(ReadBool(element, L"enable", TRUE)),
          text(element.text().get()) {}

    const wchar_t* Type() const { return type.c_str(); }
    std::wstring Font() const { return ReadString(node, L"font", L"Arial", true); }
    int Size() const { return ReadInt(node, L"size", 10); }
    BOOL Bold() const { return ReadBool(node, L"bold", FALSE); }
    UINT Action() const { return ReadUInt(node, L"action", 0); }

    template <typename T>
    void CreateIn(T& object, UINT id, const wchar_t* resType) const {
        object.Create(owner, rect.left, rect.top, rect.right, rect.bottom, id, resType);
    }
    // Name, visibility and enabled state, read from the element itself.
    void Identify(IORVBaseUIObject& object) const {
        object.SetName(name.c_str());
        object.SetVisible(visible);
        object.SetEnabled(enabled);
    }
};

// Containers and controls are appended to the parent as soon as they exist, so the parent owns them
// even when a later setter throws.
template <typename T>
T* NewContainer(const Common& c) {
    auto object = std::make_unique<T>();
    c.CreateIn(*object, c.resId, c.Type());
    c.Identify(*object);
    return object.release();
}

ContainerUIObjectImpl* BuildContainer(ContainerUIObjectImpl& parent, const Common& c) {
    auto* object = NewContainer<ContainerUIObjectImpl>(c);
    parent.AddContainer(object);
    return object;
}

ContainerUIObjectImpl* BuildCaptionContainer(ContainerUIObjectImpl& parent, const Common& c) {
    auto* object = NewContainer<CaptionContainerUIObjectImpl>(c);
    parent.AddContainer(object);
    return object;
}

ContainerUIObjectImpl* BuildVerticalContainer(ContainerUIObjectImpl& parent, const Common& c) {
    auto* object = NewContainer<VerticalContainerUIObjectImpl>(c);
    object->SetRows(ReadInt(c.node, L"row", 0));
    parent.AddContainer(object);
    return object;
}

ContainerUIObjectImpl* BuildGridContainer(ContainerUIObjectImpl& parent, const Common& c) {
    auto* object = NewContainer<GridContainerUIObjectImpl>(c);
    object->SetCols(ReadInt(c.node, L"col", 0));
    object->SetRows(ReadInt(c.node, L"row", 0));
    object->SetVertical(ReadBool(c.node, L"vertical", FALSE));
    parent.AddContainer(object);
    return object;
}

ContainerUIObjectImpl* BuildButton(ContainerUIObjectImpl& parent, const Common& c) {
    auto object = std::make_unique<ButtonUIObjectImpl>();
    c.CreateIn(*object, c.resId, c.Type());
    object->SetAction(c.Action());
    c.Identify(*object);
    parent.AddControl(object.release());
    return nullptr;
}

ContainerUIObjectImpl* BuildLabel(ContainerUIObjectImpl& parent, const Common& c) {
    auto object = std::make_unique<LabelUIObjectImpl>();
    c.CreateIn(*object, 0, nullptr);
    object->SetText(c.text.c_str());
    const TextColour colour = ReadColour(c.node, L"color");
    object->SetTextColor(colour.r, colour.g, colour.b);
    object->SetFont(c.Font().c_str(), c.Size(), c.Bold());
    c.Identify(*object);
    parent.AddControl(object.release());
    return nullptr;
}

ContainerUIObjectImpl* BuildLinkLabel(ContainerUIObjectImpl& parent, const Common& c) {
    auto object = std::make_unique<LinkLabelUIObjectImpl>();
    c.CreateIn(*object, c.resId, c.Type());
    const TextColour colour = ReadColour(c.node, L"color");
    object->SetTextColor(colour.r, colour.g, colour.b);
    object->SetFont(c.Font().c_str(), c.Size(), c.Bold(), ReadBool(c.node, L"underline", FALSE));
    object->SetText(c.text.c_str());
    object->SetAction(c.Action());
    c.Identify(*object);
    parent.AddControl(object.release());
    return nullptr;
}

ContainerUIObjectImpl* BuildTextBox(ContainerUIObjectImpl& parent, const Common& c) {
    auto object = std::make_unique<TextBoxUIObjectImpl>();
    c.CreateIn(*object, c.resId, c.Type());
    const RECT client = ReadRect(c.node, L"clrect", c.rect);
    object->SetClientRect(client.left, client.top, client.right, client.bottom);
    object->CreateHost();
    const TextColour colour = ReadColour(c.node, L"color");
    object->SetTextColor(colour.r, colour.g, colour.b);
    object->SetName(c.name.c_str());
    object->SetFont(c.Font().c_str(), c.Size(), c.Bold());
    object->SetMaxChar(ReadInt(c.node, L"maxchar", 0));
    object->SetVisible(c.visible);
    object->SetEnabled(c.enabled);
    object->SetMultiline(ReadBool(c.node, L"multiline", FALSE));
    object->SetText(c.text.c_str());
    parent.AddControl(object.release());
    return nullptr;
}

ContainerUIObjectImpl* BuildCheckBox(ContainerUIObjectImpl& parent, const Common& c) {
    auto object = std::make_unique<CheckBoxUIObjectImpl>();
    c.CreateIn(*object, c.resId, c.Type());
    if (!c.text.empty()) {
        const RECT box = ReadRect(c.node, L"rectChk", kNoRect), label = ReadRect(c.node, L"rectLbl", kNoRect);
        object->SetCheckRect(box.left, box.top, box.right, box.bottom);
        object->SetLabelRect(label.left, label.top, label.right, label.bottom);
        const TextColour colour = ReadColour(c.node, L"color");
        object->SetTextColor(colour.r, colour.g, colour.b);
        object->SetFont(c.Font().c_str(), c.Size(), c.Bold());
        object->SetText(c.text.c_str());
    }
    object->SetAction(c.Action());
    object->SetName(c.name.c_str());
    object->SetChecked(ReadBool(c.node, L"checked", FALSE));
    object->SetVisible(c.visible);
    object->SetEnabled(c.enabled);
    parent.AddControl(object.release());
    return nullptr;
}

ContainerUIObjectImpl* BuildProgress(ContainerUIObjectImpl& parent, const Common& c) {
    auto object = std::make_unique<ProgressUIObjectImpl>();
    c.CreateIn(*object, c.resId, c.Type());
    c.Identify(*object);
    const pugi::xml_node front = c.node.child(L"Front");
    object->SetFront(ReadRect(front, L"rect", c.rect), ReadInt(front, L"spl", 0), ReadInt(front, L"spr", 0));
    IORVBaseUIObject* owned = object.get();
    parent.AddControl(object.release());  // owned by the tree before its front image can throw
    static_cast<ProgressUIObjectImpl*>(owned)->SetFrontImage(ReadString(front, L"type").c_str(),
                                                             ReadUInt(front, L"resId", 0));
    return nullptr;
}

ContainerUIObjectImpl* BuildCarousel(ContainerUIObjectImpl& parent, const Common& c) {
    auto object = std::make_unique<CarouselUIObjectImpl>();
    c.CreateIn(*object, c.resId, c.Type());
    c.Identify(*object);
    object->SetFrameCount(ReadInt(c.node, L"framecount", 1));
    object->ResetFrame();
    object->SetInterval(ReadUInt(c.node, L"interval", 1000));
    object->SetFadeInterval(ReadUInt(c.node, L"fadeinterval", 500));
    parent.AddControl(object.release());
    return nullptr;
}

ContainerUIObjectImpl* BuildPicture(ContainerUIObjectImpl& parent, const Common& c) {
    auto object = std::make_unique<PictureUIObjectImpl>();
    c.CreateIn(*object, c.resId, c.Type());
    c.Identify(*object);
    parent.AddControl(object.release());
    return nullptr;
}

// Element names in the order they are compared; a recipe returns the new container to descend into,
// or null for a control (whose subtree is never visited).
using Recipe = ContainerUIObjectImpl* (*)(ContainerUIObjectImpl& parent, const Common& c);
const std::pair<const wchar_t*, Recipe> kRecipes[] = {
    {L"Container", BuildContainer},   {L"CaptionContainer", BuildCaptionContainer},
    {L"VerticalContainer", BuildVerticalContainer}, {L"GridContainer", BuildGridContainer},
    {L"Button", BuildButton},         {L"Label", BuildLabel},
    {L"TextBox", BuildTextBox},       {L"LinkLabel", BuildLinkLabel},
    {L"CheckBox", BuildCheckBox},     {L"Progress", BuildProgress},
    {L"Carousel", BuildCarousel},     {L"Picture", BuildPicture},
};

Recipe FindRecipe(const wchar_t* name) {
    for (const auto& entry : kRecipes)
        if (std::wcscmp(entry.first, name) == 0) return entry.second;
    return nullptr;
}

}  // namespace

UIObjectFactory& UIObjectFactory::Instance() {
    static UIObjectFactory factory;  // made after GDI+ started, so it is gone before GDI+ shuts down
    return factory;
}

UIObjectFactory::~UIObjectFactory() = default;

IORVBaseUIObject* UIObjectFactory::Root(HWND owner) const {
    const auto found = roots_.find(owner);
    return found == roots_.end() ? nullptr : found->second.get();
}

IORVBaseUIObject* UIObjectFactory::Build(HWND owner, pugi::xml_node node) {
    if (std::wcscmp(node.name(), L"Container") != 0) return Root(owner);
    Release(owner);
    const Common rootValues(node, owner);
    auto made = std::make_unique<ContainerUIObjectImpl>();
    ContainerUIObjectImpl* root = made.get();
    roots_[owner] = std::move(made);  // registered before its own Create can throw
    root->SetBackgroundReplaces(TRUE);
    rootValues.CreateIn(*root, rootValues.resId, rootValues.Type());
    root->SetName(rootValues.name.c_str());
    root->SetVisible(rootValues.visible);
    root->SetEnabled(rootValues.enabled);

    std::deque<std::pair<ContainerUIObjectImpl*, pugi::xml_node>> pending;
    pending.emplace_back(root, node);
    while (!pending.empty()) {
        const auto [parent, element] = pending.back();
        pending.pop_back();
        for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
            if (child.type() != pugi::node_element) continue;
            const Recipe recipe = FindRecipe(child.name());
            if (!recipe) continue;
            ContainerUIObjectImpl* container = recipe(*parent, Common(child, owner));
            if (container) pending.emplace_back(container, child);
        }
    }
    return Root(owner);
}

void UIObjectFactory::Release(HWND owner) {
    const auto found = roots_.find(owner);
    if (found == roots_.end()) return;
    // Out of the map before it is deleted, so that nothing its destruction reaches finds it there.
    const std::unique_ptr<IORVBaseUIObject> root = std::move(found->second);
    roots_.erase(found);
}

}  // namespace ORVUE
