// What the dialogs must look like, worked out afresh in the test program from the same system
// message font and standard icons the dialogs use, so that the screen can be held against it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/driver/driver.h"

namespace expect {

struct MessageLayout {
  int cx = 0;  // average width of the 52 letters
  int cy = 0;  // their height
  int clientWidth = 0;
  int clientHeight = 0;
  RECT icon{};  // empty without an icon
  RECT text{};
  std::vector<RECT> buttons;  // in screen order
};

// `captions` are the button captions with their "&" marks, in screen order.
MessageLayout MessageDialog(const std::string& text, bool icon, const std::vector<std::string>& captions);

// Top-left corner of a window of that outer size centred on the screen, never below 0.
POINT Centred(int windowWidth, int windowHeight);

// How many pixels of `picture` differ from the standard icon `id` (IDI_*) drawn at 32 x 32 over
// the picture's own top-left colour; -1 when the picture is not 32 x 32.
int IconMismatch(const e2e::Bitmap& picture, LPCSTR id);

// What Ctrl+C puts on the clipboard, written out by hand.
std::string ClipboardText(const std::string& caption, const std::string& text,
                          const std::vector<std::string>& captions);

}  // namespace expect
