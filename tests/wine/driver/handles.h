// Owners for what the system hands the driver: handles, DCs, memory in
// another process.
#pragma once

#include <windows.h>

#include <utility>

namespace qmdriver {

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) { Reset(); h_ = std::exchange(o.h_, nullptr); }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  HANDLE Get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void Reset() {
    if (h_) CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_ = nullptr;
};

class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  ~ScreenDc() { if (dc_) ReleaseDC(nullptr, dc_); }
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

// A block of memory committed in another process, released with it.
class RemoteBlock {
 public:
  RemoteBlock(HANDLE process, SIZE_T size)
      : process_(process),
        address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
  RemoteBlock(const RemoteBlock&) = delete;
  RemoteBlock& operator=(const RemoteBlock&) = delete;
  ~RemoteBlock() { if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE); }

  void* Address() const { return address_; }
  explicit operator bool() const { return address_ != nullptr; }

 private:
  HANDLE process_;
  void* address_;
};

}  // namespace qmdriver
