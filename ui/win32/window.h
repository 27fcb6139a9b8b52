// The base of every window object: the one window-procedure thunk, class registration and the
// failure boundary around handler dispatch; and the base that forms and controls share. Every
// window is a Unicode window: its texts reach it as UTF-16 (ui/win32/text.h), so that they read
// right whatever the system's code page.
#pragma once

#include <windows.h>

#include <string>

#include "base/shown_text.h"

// Private messages of the layer.
enum : UINT {
  CM_BASE = WM_APP + 0x100,
  CM_CREATED = CM_BASE,  // run the form's creation handler
  CM_SHOWING,            // run the form's show handler, before the window becomes visible
  CM_DIALOGKEY,          // lParam: MSG* of a key message for the form; returns nonzero when used
};

class TWindow {
 public:
  TWindow() = default;
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;
  virtual ~TWindow();

  HWND Handle() const { return handle_; }

  // The object behind a window made by this layer, or nullptr for any other window.
  static TWindow* FromHandle(HWND window);

  // Registers className once. With a baseClass (a system class such as "BUTTON") the new class
  // is a superclass of it: same behaviour, this layer's window procedure in front. Both names
  // are ASCII.
  static void RegisterWindowClass(const char* className, const char* baseClass, UINT style = 0,
                            HBRUSH background = nullptr, HICON icon = nullptr);

 protected:
  // Creates the window; the class must have been registered with RegisterWindowClass.
  void CreateHandle(DWORD exStyle, const char* className, const ShownText& text, DWORD style, int x,
                    int y, int width, int height, HWND parent, HMENU menuOrId);

  // Every message of the window arrives here, inside the failure boundary.
  virtual LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The class's own handling: the system class's procedure, or DefWindowProc.
  LRESULT DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam);
  // Called after the window is gone (WM_NCDESTROY).
  virtual void HandleDestroyed() {}

 private:
  static LRESULT CALLBACK Thunk(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND handle_ = nullptr;
  WNDPROC baseProc_ = nullptr;
};

// A form or a control: its text and its outer rectangle, in the parent's client area for a
// child window and on the screen for a top-level one.
class TWindowed : public TWindow {
 public:
  // The caption as the program gave it, run by run.
  const ShownText& Caption() const { return caption_; }
  virtual void SetCaption(const ShownText& caption);

  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  void SetLeft(int left);
  void SetTop(int top);
  virtual void SetBounds(int left, int top, int width, int height);

 protected:
  // Creates the window with its caption, which it remembers.
  void CreateHandle(DWORD exStyle, const char* className, const ShownText& caption, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU menuOrId);
  // The text the window holds now, as the platform gives it back.
  std::wstring WindowText() const;

 private:
  ShownText caption_;
};
