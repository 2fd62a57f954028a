// The failure the UI engine throws: a COM result, E_FAIL for every contract or resource failure.
#pragma once

#include <windows.h>

#include <exception>

namespace ORVUE {

class UIError : public std::exception {
public:
    explicit UIError(HRESULT hr) : hr_(hr) {}
    HRESULT Error() const { return hr_; }
    const char* what() const noexcept override { return "UI object could not be created"; }

private:
    HRESULT hr_;
};

[[noreturn]] inline void ThrowUIError(HRESULT hr = E_FAIL) { throw UIError(hr); }

}  // namespace ORVUE
