// The C++ run-time library's throwing paths, for the Windows build.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <new>

// The Windows build has no exceptions: what libstdc++ would throw (out of
// memory, a string too long, an empty std::function) ends the program, as an
// uncaught exception did. Defined here, the library's own versions stay out,
// and with them the exception classes, their string type, the unwinder, the
// demangler of the default terminate handler and the printf family it uses:
// 100 KB of a program that has no console to print to anyway.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
namespace std {
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_bad_function_call() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
}  // namespace std

void* operator new(std::size_t size) {
  void* p = std::malloc(size != 0 ? size : 1);
  if (p == nullptr) std::abort();
  return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size != 0 ? size : 1);
}

// Guards for function-local statics, without the library's (which report a
// recursive initialisation by throwing). One lock for all of them, re-entrant
// since one static's initialiser may use another.
namespace {
SRWLOCK gGuardLock = SRWLOCK_INIT;
DWORD gGuardOwner = 0;  // changed only with the lock held
int gGuardDepth = 0;

void LockGuards() {
  DWORD self = GetCurrentThreadId();
  if (__atomic_load_n(&gGuardOwner, __ATOMIC_RELAXED) == self) {
    ++gGuardDepth;
    return;
  }
  AcquireSRWLockExclusive(&gGuardLock);
  __atomic_store_n(&gGuardOwner, self, __ATOMIC_RELAXED);
  gGuardDepth = 1;
}
void UnlockGuards() {
  if (--gGuardDepth != 0) return;
  __atomic_store_n(&gGuardOwner, 0, __ATOMIC_RELAXED);
  ReleaseSRWLockExclusive(&gGuardLock);
}
}  // namespace

extern "C" int __cxa_guard_acquire(std::uint64_t* guard) {
  auto* done = reinterpret_cast<char*>(guard);
  if (__atomic_load_n(done, __ATOMIC_ACQUIRE) != 0) return 0;
  LockGuards();
  if (__atomic_load_n(done, __ATOMIC_ACQUIRE) != 0) {
    UnlockGuards();
    return 0;
  }
  return 1;  // the caller initialises, the lock held
}
extern "C" void __cxa_guard_release(std::uint64_t* guard) {
  __atomic_store_n(reinterpret_cast<char*>(guard), 1, __ATOMIC_RELEASE);
  UnlockGuards();
}
extern "C" void __cxa_guard_abort(std::uint64_t*) { UnlockGuards(); }
