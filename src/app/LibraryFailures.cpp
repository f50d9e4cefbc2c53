// How the C++ library reports its own failures inside vantrel.exe. Its
// headers call these functions; the library's own versions all live in one
// object that builds every standard exception type, and with them the
// library's second, reference-counted string implementation (about 20 KB).
// The program never catches those types by name: its guards catch
// std::exception and show what() (std::bad_alloc as "Out of memory"). So the
// exe defines the functions itself, throwing small types with the library's
// own fixed texts.
#include <exception>
#include <functional>
#include <new>
#include <typeinfo>

namespace vantrel::app {
namespace {

class LibraryFailure final : public std::exception {
public:
    explicit LibraryFailure(const char* text) noexcept : text_(text) {}
    [[nodiscard]] const char* what() const noexcept override { return text_; }

private:
    const char* text_;  // the library's texts are string literals
};

}  // namespace
}  // namespace vantrel::app

// NOLINTBEGIN: the library's own names, in its namespace.
namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_length_error(const char*) { throw bad_alloc(); }  // a size beyond any memory
void __throw_logic_error(const char* text) { throw vantrel::app::LibraryFailure(text); }
void __throw_out_of_range(const char* text) { throw vantrel::app::LibraryFailure(text); }
void __throw_out_of_range_fmt(const char* format, ...) { throw vantrel::app::LibraryFailure(format); }
void __throw_invalid_argument(const char* text) { throw vantrel::app::LibraryFailure(text); }
void __throw_runtime_error(const char* text) { throw vantrel::app::LibraryFailure(text); }
}  // namespace std
// NOLINTEND
