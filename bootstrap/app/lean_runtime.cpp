// The C++ library's out-of-line throw helpers, for this executable only. The library keeps them in
// one object that also holds the std::logic_error family, whose copy-on-write strings drag in a
// second string implementation, std::random_device and the char string instantiations: about
// 55 KiB for errors that only a container grown past its maximum size can raise. Here they throw
// the same kinds of error with the same texts; the default error report shows them as before.
// Linked into Setup.exe alone: the tests link the full library, whose helpers would clash.
#include <windows.h>

#include <cstdint>
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

// The POSIX thread calls the runtime makes: its thread-local storage (each thread's exception
// state) and the locks of that storage and of the exception memory pool. Taken from the POSIX
// threads library they bring its thread object along, with read-write locks, condition variables,
// events and a scheduler, about 26 KiB; here they are Win32 calls. Fibre-local storage, because its
// slots call a destructor when a thread ends, as pthread keys do; slim reader-writer locks, because
// one fits in a pthread_mutex_t. Types as this toolchain's POSIX threads library declares them.
extern "C" {

int pthread_once(long* once, void (*init)()) {
  // 0: not run, 1: running on some thread, 2: done.
  if (::InterlockedCompareExchange(once, 1, 0) == 0) {
    init();
    ::InterlockedExchange(once, 2);
    return 0;
  }
  while (::InterlockedCompareExchange(once, 2, 2) != 2) {
    ::Sleep(0);
  }
  return 0;
}

int pthread_key_create(unsigned* key, void (*destructor)(void*)) {
  // On x64 a WINAPI callback and a C function share one calling convention.
  static_assert(sizeof(void*) == 8, "the destructor is passed as a WINAPI callback");
  const DWORD index = ::FlsAlloc(reinterpret_cast<PFLS_CALLBACK_FUNCTION>(destructor));
  if (index == FLS_OUT_OF_INDEXES) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  *key = index;
  return 0;
}

void* pthread_getspecific(unsigned key) {
  return ::FlsGetValue(key);
}

int pthread_setspecific(unsigned key, const void* value) {
  return ::FlsSetValue(key, const_cast<void*>(value)) ? 0 : ERROR_INVALID_PARAMETER;
}

// A pthread_mutex_t holds a slim lock; -1 is the static initialiser, made a fresh lock (0) on first
// use. A slim lock's own state is never all ones.
PSRWLOCK SlimLockOf(std::intptr_t* mutex) {
  ::InterlockedCompareExchange64(reinterpret_cast<volatile LONG64*>(mutex), 0, -1);
  return reinterpret_cast<PSRWLOCK>(mutex);
}

int pthread_mutex_init(std::intptr_t* mutex, const void* attributes) {
  (void)attributes;
  *mutex = 0;
  return 0;
}

int pthread_mutex_destroy(std::intptr_t* mutex) {
  (void)mutex;  // a slim lock owns nothing
  return 0;
}

int pthread_mutex_lock(std::intptr_t* mutex) {
  ::AcquireSRWLockExclusive(SlimLockOf(mutex));
  return 0;
}

int pthread_mutex_unlock(std::intptr_t* mutex) {
  ::ReleaseSRWLockExclusive(SlimLockOf(mutex));
  return 0;
}

}  // extern "C"
