// The store of skin images decoded ahead of need: one lock, one condition, a plan and the ready images.
#include "ui/preparedimages.h"

#include "utility/lockguard.h"

namespace ORVUE {
namespace {

PreparedImages* g_current = nullptr;

}  // namespace

PreparedImages::PreparedImages() = default;
PreparedImages::~PreparedImages() = default;

PreparedImages::Key PreparedImages::MakeKey(const wchar_t* resType, UINT resId) {
    return Key(resType ? resType : L"", resId & 0xFFFF);
}

void PreparedImages::Plan(const std::vector<Key>& keys) {
    {
        orv::ExclusiveGuard guard(lock_);
        for (const Key& key : keys) pending_.emplace(key, 0);
        planned_ = true;
    }
    ::WakeAllConditionVariable(&changed_);
}

void PreparedImages::Put(const Key& key, std::unique_ptr<ImageObject> image) {
    {
        orv::ExclusiveGuard guard(lock_);
        const auto found = pending_.find(key);
        if (found != pending_.end()) pending_.erase(found);
        if (image) ready_.emplace(key, std::move(image));
    }
    ::WakeAllConditionVariable(&changed_);
}

void PreparedImages::Finish() {
    {
        orv::ExclusiveGuard guard(lock_);
        finished_ = true;
        pending_.clear();
    }
    ::WakeAllConditionVariable(&changed_);
}

bool PreparedImages::StillToCome(const Key& key) const {
    if (finished_) return false;
    return !planned_ || pending_.find(key) != pending_.end();
}

std::unique_ptr<ImageObject> PreparedImages::Take(const wchar_t* resType, UINT resId) {
    const Key key = MakeKey(resType, resId);
    orv::ExclusiveGuard guard(lock_);
    for (;;) {
        const auto found = ready_.find(key);
        if (found != ready_.end()) {
            std::unique_ptr<ImageObject> image = std::move(found->second);
            ready_.erase(found);
            return image;
        }
        if (!StillToCome(key)) return nullptr;
        ::SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    }
}

void SetPreparedImages(PreparedImages* images) { g_current = images; }

PreparedImages* CurrentPreparedImages() { return g_current; }

}  // namespace ORVUE
