// What the standard library's containers and strings throw in the stub.
//
// The library's own throw helpers raise std::length_error, std::out_of_range
// and their kin, whose messages live in its old copy-on-write string: one
// call to them links that string's whole code, and what it drags along,
// into the stub (some 60 KB).  These take their place, in the stub only:
// the same messages, raised as a std::exception whose what() is the message
// (every handler here catches std::exception or everything), and the
// library's own exception types where they carry no text.
#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <typeinfo>

namespace __gnu_cxx {
// The library's formatter for its out-of-range messages (%s, %zu and %%).
int __snprintf_lite(char* buffer, std::size_t size, const char* format, va_list arguments);
}  // namespace __gnu_cxx

namespace {

class LibraryError : public std::exception {
public:
    explicit LibraryError(const char* message) : text_(message ? message : "") {}
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};

[[noreturn]] void Raise(const char* message) { throw LibraryError(message); }

}  // namespace

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_bad_exception() { throw bad_exception(); }
void __throw_logic_error(const char* message) { Raise(message); }
void __throw_domain_error(const char* message) { Raise(message); }
void __throw_invalid_argument(const char* message) { Raise(message); }
void __throw_length_error(const char* message) { Raise(message); }
void __throw_out_of_range(const char* message) { Raise(message); }
void __throw_runtime_error(const char* message) { Raise(message); }
void __throw_range_error(const char* message) { Raise(message); }
void __throw_overflow_error(const char* message) { Raise(message); }
void __throw_underflow_error(const char* message) { Raise(message); }

void __throw_out_of_range_fmt(const char* format, ...) {
    // Room for the format and the numbers and names it takes, as the
    // library's own helper allows.
    const std::size_t size = std::strlen(format) + 512;
    char* text = static_cast<char*>(__builtin_alloca(size));
    va_list arguments;
    va_start(arguments, format);
    __gnu_cxx::__snprintf_lite(text, size, format, arguments);
    va_end(arguments);
    Raise(text);
}

}  // namespace std
