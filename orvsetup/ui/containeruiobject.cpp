// Containers: painting with clip and background, mouse routing, state propagation and lookup.
#include "ui/containeruiobject.h"

#include "ui/controlsupport.h"

#include <gdiplus.h>

#include <typeinfo>

namespace ORVUE {

ContainerUIObjectImpl::~ContainerUIObjectImpl() {
    containers_.clear();
    controls_.clear();
    image_.reset();
}

int ContainerUIObjectImpl::Create(HWND owner, int left, int top, int right, int bottom, UINT resId,
                                  const wchar_t* resType) {
    if (resId != 0) image_ = ImageObject::Load(resType, resId);
    owner_ = owner;
    rect_ = RECT{left, top, right, bottom};
    NoteChange();
    return 0;
}

int ContainerUIObjectImpl::Paint(Gdiplus::Graphics& graphics) {
    if (!visible_) return 0;
    const int width = rect_.right - rect_.left, height = rect_.bottom - rect_.top;
    graphics.SetClip(Gdiplus::RectF(static_cast<Gdiplus::REAL>(rect_.left), static_cast<Gdiplus::REAL>(rect_.top),
                                    static_cast<Gdiplus::REAL>(width), static_cast<Gdiplus::REAL>(height)),
                     Gdiplus::CombineModeReplace);
    if (image_) {
        const Gdiplus::CompositingMode mode = graphics.GetCompositingMode();
        if (backgroundReplaces_) graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        DrawImagePart(graphics, image_.get(), rect_.left, rect_.top, 0, 0, width, height);
        graphics.SetCompositingMode(mode);
    }
    PaintContainers(graphics);
    for (auto& control : controls_) control->Paint(graphics);
    graphics.ResetClip();
    return 0;
}

void ContainerUIObjectImpl::PaintContainers(Gdiplus::Graphics& graphics) {
    for (auto& container : containers_) container->Paint(graphics);
}

void ContainerUIObjectImpl::MoveTo(IORVBaseUIObject* child, int left, int top) {
    const RECT old = child->GetRect();
    if (old.left == left && old.top == top) return;  // layouts place children on every paint
    child->SetRect(left, top, left + (old.right - old.left), top + (old.bottom - old.top));
}

void ContainerUIObjectImpl::SetRect(int left, int top, int right, int bottom) {
    const int dx = left - rect_.left, dy = top - rect_.top;
    for (auto* list : {&containers_, &controls_}) {
        for (auto& child : *list) {
            const RECT old = child->GetRect();
            MoveTo(child.get(), old.left + dx, old.top + dy);
        }
    }
    if (rect_.left != left || rect_.top != top || rect_.right != right || rect_.bottom != bottom) NoteChange();
    rect_ = RECT{left, top, right, bottom};
}

void ContainerUIObjectImpl::SetVisible(BOOL visible) {
    if (visible_ != visible) NoteChange();
    visible_ = visible;
}

void ContainerUIObjectImpl::SetEnabled(BOOL enabled) {
    if (enabled_ != enabled) NoteChange();
    enabled_ = enabled;
}

void ContainerUIObjectImpl::SetVisibleTree(BOOL visible) {
    SetVisible(visible);
    for (auto& container : containers_) {
        if (auto* inner = dynamic_cast<ContainerUIObjectImpl*>(container.get())) {
            inner->SetVisibleTree(visible);
        } else {
            container->SetVisible(visible);
        }
    }
    for (auto& control : controls_) control->SetVisible(visible);
}

void ContainerUIObjectImpl::SetEnabledTree(BOOL enabled) {
    SetEnabled(enabled);
    for (auto& container : containers_) {
        if (auto* inner = dynamic_cast<ContainerUIObjectImpl*>(container.get())) {
            inner->SetEnabledTree(enabled);
        } else {
            container->SetEnabled(enabled);
        }
    }
    for (auto& control : controls_) control->SetEnabled(enabled);
}

void ContainerUIObjectImpl::AddControl(IORVBaseUIObject* child) {
    std::unique_ptr<IORVBaseUIObject> owned(child);
    child->SetEnabled(child->IsEnabled() && enabled_);
    controls_.push_back(std::move(owned));
    NoteChange();
}

void ContainerUIObjectImpl::AddContainer(IORVBaseUIObject* child) {
    std::unique_ptr<IORVBaseUIObject> owned(child);
    child->SetEnabled(child->IsEnabled() && enabled_);
    containers_.push_back(std::move(owned));
    NoteChange();
}

template <typename Handler>
IORVBaseUIObject* ContainerUIObjectImpl::RouteToFirst(POINT point, BOOL& handled, Handler handler) {
    for (auto& container : containers_) {
        if (!RectContains(container.get(), point)) continue;
        handler(container.get());
        if (handled) return nullptr;
    }
    for (auto& control : controls_) {
        if (!RectContains(control.get(), point)) continue;
        handler(control.get());
        if (handled) return control.get();
    }
    return nullptr;
}

LRESULT ContainerUIObjectImpl::OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!visible_ || !enabled_) return 0;
    pressed_ = TRUE;
    IORVBaseUIObject* taker = RouteToFirst(PointOf(lParam), handled, [&](IORVBaseUIObject* child) {
        child->OnLButtonDown(msg, wParam, lParam, handled);
    });
    if (taker) taker->SetFocus();
    return 0;
}

LRESULT ContainerUIObjectImpl::OnLButtonUp(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!visible_ || !enabled_) return 0;
    pressed_ = FALSE;
    RouteToFirst(PointOf(lParam), handled,
                 [&](IORVBaseUIObject* child) { child->OnLButtonUp(msg, wParam, lParam, handled); });
    return 0;
}

LRESULT ContainerUIObjectImpl::OnMouseHover(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!visible_ || !enabled_) return 0;
    RouteToFirst(PointOf(lParam), handled,
                 [&](IORVBaseUIObject* child) { child->OnMouseHover(msg, wParam, lParam, handled); });
    return 0;
}

int ContainerUIObjectImpl::OnSetCursor(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled, int x, int y) {
    handled = FALSE;
    if (!visible_ || !enabled_) return 0;
    RouteToFirst(POINT{x, y}, handled,
                 [&](IORVBaseUIObject* child) { child->OnSetCursor(msg, wParam, lParam, handled, x, y); });
    return 0;
}

// Children under the point get the move, all others a leave; a leave never marks the move handled.
LRESULT ContainerUIObjectImpl::OnMouseMove(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!visible_ || !enabled_) return 0;
    mouseInside_ = TRUE;
    const POINT point = PointOf(lParam);
    auto offer = [&](IORVBaseUIObject* child) {
        if (RectContains(child, point)) {
            child->OnMouseMove(msg, wParam, lParam, handled);
        } else {
            BOOL scratch = FALSE;
            child->OnMouseLeave(msg, wParam, lParam, scratch);
        }
    };
    for (auto& container : containers_) offer(container.get());
    if (handled) return 0;
    for (auto& control : controls_) offer(control.get());
    return 0;
}

LRESULT ContainerUIObjectImpl::OnMouseLeave(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    handled = FALSE;
    if (!mouseInside_ || !visible_ || !enabled_) return 0;
    mouseInside_ = FALSE;
    for (auto& container : containers_) {
        container->OnMouseLeave(msg, wParam, lParam, handled);
        if (handled) return 0;
    }
    for (auto& control : controls_) {
        control->OnMouseLeave(msg, wParam, lParam, handled);
        if (handled) return 0;
    }
    return 0;
}

ContainerUIObjectImpl* ContainerUIObjectImpl::FindContainer(const wchar_t* name) const {
    if (!name) return nullptr;
    for (auto& container : containers_) {
        if (container->GetName() == name) return dynamic_cast<ContainerUIObjectImpl*>(container.get());
    }
    return nullptr;
}

IORVBaseUIObject* ContainerUIObjectImpl::FindControl(const wchar_t* name) const {
    if (!name) return nullptr;
    for (auto& control : controls_) {
        if (control->GetName() == name) return control.get();
    }
    return nullptr;
}

std::vector<IORVBaseUIObject*> ContainerUIObjectImpl::CollectControlsOfExactType(const std::type_info& type) const {
    std::vector<IORVBaseUIObject*> found;
    for (auto& container : containers_) {
        auto* inner = dynamic_cast<const ContainerUIObjectImpl*>(container.get());
        if (!inner) continue;
        const auto more = inner->CollectControlsOfExactType(type);
        found.insert(found.end(), more.begin(), more.end());
    }
    for (auto& control : controls_) {
        if (typeid(*control) == type) found.push_back(control.get());
    }
    return found;
}

namespace {

// Calls `visit` for every object of the tree under `root` (root first) until it returns true; an explicit
// stack, so a deep layout costs no stack depth.
template <typename Visit>
IORVBaseUIObject* FirstInTree(ContainerUIObjectImpl* root, Visit visit) {
    std::vector<IORVBaseUIObject*> pending{root};
    while (!pending.empty()) {
        IORVBaseUIObject* object = pending.back();
        pending.pop_back();
        if (visit(object)) return object;
        if (auto* container = dynamic_cast<ContainerUIObjectImpl*>(object)) {
            for (auto& child : container->Controls()) pending.push_back(child.get());
            for (auto& child : container->Containers()) pending.push_back(child.get());
        }
    }
    return nullptr;
}

}  // namespace

IORVBaseUIObject* ContainerUIObjectImpl::FindByAddress(LPARAM address) {
    if (!address) return nullptr;
    return FirstInTree(this, [address](IORVBaseUIObject* object) {
        return reinterpret_cast<LPARAM>(object) == address;
    });
}

IORVBaseAnimationObject* ContainerUIObjectImpl::FindAnimationByAddress(LPARAM address) {
    if (!address) return nullptr;
    IORVBaseAnimationObject* found = nullptr;
    FirstInTree(this, [address, &found](IORVBaseUIObject* object) {
        auto* animation = dynamic_cast<IORVBaseAnimationObject*>(object);
        if (!animation || reinterpret_cast<LPARAM>(animation) != address) return false;
        found = animation;
        return true;
    });
    return found;
}

LRESULT CaptionContainerUIObjectImpl::OnLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) {
    ContainerUIObjectImpl::OnLButtonDown(msg, wParam, lParam, handled);
    if (!handled) {
        ::PostMessageW(owner_, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
        handled = TRUE;
    }
    return 0;
}

void VerticalContainerUIObjectImpl::SetRows(int rows) { rows_ = rows < 1 ? 1 : rows; }

int VerticalContainerUIObjectImpl::Paint(Gdiplus::Graphics& graphics) {
    const int rowHeight = (rect_.bottom - rect_.top) / rows_;
    int slot = 0;
    for (auto& container : containers_) {
        if (!container->IsVisible()) continue;
        MoveTo(container.get(), container->GetRect().left, rect_.top + slot * rowHeight);
        container->Paint(graphics);
        slot = (slot + 1) % rows_;
    }
    return 0;
}

void GridContainerUIObjectImpl::SetCols(int cols) {
    cols_ = cols < 1 ? 1 : cols;
    cellWidth_ = (rect_.right - rect_.left) / cols_;
}

void GridContainerUIObjectImpl::SetRows(int rows) {
    rows_ = rows < 1 ? 1 : rows;
    cellHeight_ = (rect_.bottom - rect_.top) / rows_;
}

int GridContainerUIObjectImpl::Paint(Gdiplus::Graphics& graphics) {
    const int width = rect_.right - rect_.left, height = rect_.bottom - rect_.top;
    int col = 0, row = 0;
    for (auto& container : containers_) {
        if (!container->IsVisible()) continue;
        MoveTo(container.get(), rect_.left + col * cellWidth_, rect_.top + row * cellHeight_);
        container->Paint(graphics);
        if (vertical_) {
            if ((row + 1) * cellHeight_ < height) {
                ++row;
            } else {
                row = 0;
                ++col;
            }
        } else if ((col + 1) * cellWidth_ < width) {
            ++col;
        } else {
            col = 0;
            ++row;
        }
    }
    return 0;
}

}  // namespace ORVUE
