// Owning wrappers for what the system hands out: each releases its own when
// it goes out of scope, so a function's early returns need no clean-up code.
// Move-only; get() lends the value, release() gives it up, reset() closes
// the one held and takes another.
#pragma once
#include <windows.h>

#include <cstdio>
#include <utility>

template <typename Traits>
class UniqueResource {
 public:
  using Value = typename Traits::Value;

  UniqueResource() = default;
  explicit UniqueResource(Value value) : value_(value) {}
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  ~UniqueResource() { reset(); }

  Value get() const { return value_; }
  explicit operator bool() const { return Traits::isValid(value_); }

  Value release() {
    Value value = value_;
    value_ = Traits::empty();
    return value;
  }

  void reset(Value value = Traits::empty()) {
    if (Traits::isValid(value_)) Traits::close(value_);
    value_ = value;
  }

  // For a function that hands the value out through a pointer: closes the one
  // held and lends the place.
  Value* receive() {
    reset();
    return &value_;
  }

 private:
  Value value_ = Traits::empty();
};

// A kernel handle. CreateFile's failure is INVALID_HANDLE_VALUE, most other
// functions' is null: neither is owned.
struct KernelHandleTraits {
  using Value = HANDLE;
  static HANDLE empty() { return nullptr; }
  static bool isValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void close(HANDLE handle) { CloseHandle(handle); }
};
using UniqueHandle = UniqueResource<KernelHandleTraits>;

// A FindFirstFile search.
struct FindHandleTraits {
  using Value = HANDLE;
  static HANDLE empty() { return INVALID_HANDLE_VALUE; }
  static bool isValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void close(HANDLE handle) { FindClose(handle); }
};
using UniqueFindHandle = UniqueResource<FindHandleTraits>;

// An opened registry key. The predefined roots (HKEY_CURRENT_USER and the
// like) are never put in one.
struct RegistryKeyTraits {
  using Value = HKEY;
  static HKEY empty() { return nullptr; }
  static bool isValid(HKEY key) { return key != nullptr; }
  static void close(HKEY key) { RegCloseKey(key); }
};
using UniqueKey = UniqueResource<RegistryKeyTraits>;

// A C runtime stream.
struct FileStreamTraits {
  using Value = FILE*;
  static FILE* empty() { return nullptr; }
  static bool isValid(FILE* file) { return file != nullptr; }
  static void close(FILE* file) { fclose(file); }
};
using UniqueFile = UniqueResource<FileStreamTraits>;

// A library this process loaded and gives back.
struct LibraryTraits {
  using Value = HMODULE;
  static HMODULE empty() { return nullptr; }
  static bool isValid(HMODULE module) { return module != nullptr; }
  static void close(HMODULE module) { FreeLibrary(module); }
};
using UniqueLibrary = UniqueResource<LibraryTraits>;

// A GDI object (font, brush, bitmap).
struct GdiObjectTraits {
  using Value = HGDIOBJ;
  static HGDIOBJ empty() { return nullptr; }
  static bool isValid(HGDIOBJ object) { return object != nullptr; }
  static void close(HGDIOBJ object) { DeleteObject(object); }
};
using UniqueGdiObject = UniqueResource<GdiObjectTraits>;

// A memory device context (CreateCompatibleDC), given back with DeleteDC.
struct MemoryDcTraits {
  using Value = HDC;
  static HDC empty() { return nullptr; }
  static bool isValid(HDC dc) { return dc != nullptr; }
  static void close(HDC dc) { DeleteDC(dc); }
};
using UniqueMemoryDc = UniqueResource<MemoryDcTraits>;

// A COM interface pointer: Release instead of a close.
template <typename Interface>
struct ComTraits {
  using Value = Interface*;
  static Interface* empty() { return nullptr; }
  static bool isValid(Interface* pointer) { return pointer != nullptr; }
  static void close(Interface* pointer) { pointer->Release(); }
};
template <typename Interface>
using ComPtr = UniqueResource<ComTraits<Interface>>;
