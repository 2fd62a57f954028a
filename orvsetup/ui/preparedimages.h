// Skin images decoded ahead of need by another thread, each handed to the first object that asks for it.
#pragma once

#include "ui/imageobject.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ORVUE {

class PreparedImages {
public:
    using Key = std::pair<std::wstring, UINT>;  // resource type, resource id (low 16 bits)

    PreparedImages();
    ~PreparedImages();  // frees what nobody took
    PreparedImages(const PreparedImages&) = delete;
    PreparedImages& operator=(const PreparedImages&) = delete;

    static Key MakeKey(const wchar_t* resType, UINT resId);

    // The producer: what will come, then each image (null when it could not be prepared), then the end.
    void Plan(const std::vector<Key>& keys);
    void Put(const Key& key, std::unique_ptr<ImageObject> image);
    void Finish();

    // The image prepared for the resource; waits while it is still to come. Null when none was or will be
    // prepared: the caller decodes it itself.
    std::unique_ptr<ImageObject> Take(const wchar_t* resType, UINT resId);

private:
    bool StillToCome(const Key& key) const;

    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    bool planned_ = false;
    bool finished_ = false;
    std::multimap<Key, int> pending_;  // planned and not put yet
    std::multimap<Key, std::unique_ptr<ImageObject>> ready_;
};

// The store ImageObject::Load asks first; null (the default) for none. Set and cleared by the thread
// that builds the dialogs.
void SetPreparedImages(PreparedImages* images);
PreparedImages* CurrentPreparedImages();

}  // namespace ORVUE
