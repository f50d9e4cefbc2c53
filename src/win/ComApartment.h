// The calling thread's COM apartment for as long as the object lives: entered
// at construction and left at destruction, only when entering succeeded.
#pragma once

#include <objbase.h>

namespace vantrel::win {

class ComApartment {
public:
    explicit ComApartment(DWORD flags = COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE) noexcept
        : status_(::CoInitializeEx(nullptr, flags)) {}
    ~ComApartment() {
        if (SUCCEEDED(status_)) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    [[nodiscard]] bool Entered() const noexcept { return SUCCEEDED(status_); }

private:
    HRESULT status_;
};

}  // namespace vantrel::win
