// Objects that animate ask their window for timers by message and are called back with the timer's id.
#pragma once

namespace ORVUE {

class IORVBaseAnimationObject {
public:
    virtual ~IORVBaseAnimationObject() = default;
    virtual void Play() = 0;
    virtual void Stop() = 0;
    virtual void OnTimer(int timerId) = 0;
};

}  // namespace ORVUE
