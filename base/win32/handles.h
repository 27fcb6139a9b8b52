// Owners of Win32 handles: each releases what it holds exactly once, on every way out. Win32
// sources only; the window layer, the backends and the test driver all take their owners from
// here.
#pragma once

#include <windows.h>

#include <utility>

namespace win32 {

// A handle with an "empty" value, released by Traits::Close. Movable, not copyable.
template <typename Traits>
class Owner {
 public:
  using Handle = typename Traits::Handle;

  Owner() = default;
  explicit Owner(Handle handle) : handle_(handle) {}
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  Owner(Owner&& other) noexcept : handle_(std::exchange(other.handle_, Traits::Empty())) {}
  Owner& operator=(Owner&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.handle_, Traits::Empty()));
    return *this;
  }
  ~Owner() { Reset(); }

  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::Empty(); }
  void Reset(Handle handle = Traits::Empty()) {
    if (handle_ != Traits::Empty()) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = Traits::Empty();
};

template <typename H>
struct GdiTraits {
  using Handle = H;
  static H Empty() { return nullptr; }
  static void Close(H handle) { DeleteObject(handle); }
};

struct FindTraits {
  using Handle = HANDLE;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { FindClose(handle); }
};

struct FileTraits {
  using Handle = HANDLE;
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};

struct KernelTraits {
  using Handle = HANDLE;
  static HANDLE Empty() { return nullptr; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};

struct KeyTraits {
  using Handle = HKEY;
  static HKEY Empty() { return nullptr; }
  static void Close(HKEY key) { RegCloseKey(key); }
};

// A GDI object (font, brush, bitmap) deleted with DeleteObject.
template <typename H>
using GdiObject = Owner<GdiTraits<H>>;
using FontHandle = GdiObject<HFONT>;
using BrushHandle = GdiObject<HBRUSH>;
using BitmapHandle = GdiObject<HBITMAP>;

// A search handle from FindFirstFile, closed with FindClose.
using FindHandle = Owner<FindTraits>;
// A file from CreateFileA (INVALID_HANDLE_VALUE when none), closed with CloseHandle.
using FileHandle = Owner<FileTraits>;
// A process, thread or event handle (null when none), closed with CloseHandle.
using KernelHandle = Owner<KernelTraits>;
// An open registry key, closed with RegCloseKey.
using RegistryKey = Owner<KeyTraits>;

// A memory device context made with CreateCompatibleDC.
class MemoryDc {
 public:
  MemoryDc() = default;
  explicit MemoryDc(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  ~MemoryDc() {
    if (dc_) DeleteDC(dc_);
  }
  HDC Get() const { return dc_; }

 private:
  HDC dc_ = nullptr;
};

// A window's (or the screen's) device context from GetDC, released on scope exit.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a device context for one scope; the previous one is restored after.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;
  ~SelectedObject() {
    if (previous_) SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A global atom held for the life of the owner (the "ControlName" property value).
class GlobalAtom {
 public:
  GlobalAtom() = default;
  explicit GlobalAtom(const char* name) : atom_(GlobalAddAtomA(name)) {}
  GlobalAtom(const GlobalAtom&) = delete;
  GlobalAtom& operator=(const GlobalAtom&) = delete;
  ~GlobalAtom() {
    if (atom_) GlobalDeleteAtom(atom_);
  }
  ATOM Get() const { return atom_; }

 private:
  ATOM atom_ = 0;
};

// The clipboard, open from OpenClipboard until the end of the scope when Opened().
class OpenedClipboard {
 public:
  explicit OpenedClipboard(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
  // For a clipboard that the caller has opened itself (after retries, say).
  struct Adopt {};
  explicit OpenedClipboard(Adopt) : open_(true) {}
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  ~OpenedClipboard() {
    if (open_) CloseClipboard();
  }
  bool Opened() const { return open_; }

 private:
  bool open_;
};

}  // namespace win32
