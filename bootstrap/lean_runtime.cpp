// The C++ library's out-of-line throw helpers, for this executable only. The library keeps them in
// one object that also holds the std::logic_error family, whose copy-on-write strings drag in a
// second string implementation, std::random_device and the char string instantiations: about
// 55 KiB for errors that only a container grown past its maximum size can raise. Here they throw
// the same kinds of error with the same texts; the default error report shows them as before.
// Linked into Setup.exe alone: the tests link the full library, whose helpers would clash.
#include <exception>
#include <new>

namespace {

class LibraryError final : public std::exception {
 public:
  explicit LibraryError(const char* text) noexcept : text_(text) {}
  const char* what() const noexcept override { return text_; }

 private:
  const char* text_;
};

}  // namespace

namespace std {

void __throw_bad_alloc() {
  throw bad_alloc();
}

void __throw_bad_array_new_length() {
  throw bad_array_new_length();
}

void __throw_length_error(const char* text) {
  throw LibraryError(text);
}

void __throw_logic_error(const char* text) {
  throw LibraryError(text);
}

// The format's "%zu" fields stay unfilled: the report names the failing call, which is what counts.
void __throw_out_of_range_fmt(const char* format, ...) {
  throw LibraryError(format);
}

}  // namespace std
