// A kernel handle closed when its owner goes. Null and INVALID_HANDLE_VALUE
// (what CreateFileW gives on failure) hold nothing.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace vantrel::win {

struct HandleCloser {
    void operator()(HANDLE handle) const noexcept {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

// Whether the handle holds a kernel object.
inline bool Holds(const UniqueHandle& handle) noexcept {
    return handle != nullptr && handle.get() != INVALID_HANDLE_VALUE;
}

}  // namespace vantrel::win
