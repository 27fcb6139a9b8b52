// What the fixture program shows, shared with the scenarios that check the driver against it.
#pragma once

#include <windows.h>

namespace fixture {

constexpr const char* kClassName = "E2EFixture";
constexpr const char* kCaption = "フィクスチャ窓";
constexpr int kLeft = 120;
constexpr int kTop = 90;
constexpr int kClientWidth = 400;
constexpr int kClientHeight = 240;

// Control rectangles in client coordinates (left, top, right, bottom).
constexpr RECT kButton1Rect{10, 10, 130, 38};
constexpr RECT kButton2Rect{140, 10, 260, 38};
constexpr RECT kButton3Rect{270, 10, 390, 38};
constexpr RECT kEdit1Rect{10, 50, 260, 74};
constexpr RECT kLabel1Rect{10, 90, 260, 110};
constexpr RECT kLabel2Rect{10, 120, 260, 140};

// A patch painted by the window itself, for the pixel checks.
constexpr RECT kPatchRect{280, 120, 380, 200};
constexpr COLORREF kPatchColor = RGB(200, 30, 40);

// Arguments that survive quoting only when spaces, quotes, backslashes and empty strings are
// all handled.
constexpr const char* kArgs[] = {"plain", "two words", "", "quote\"inside", "tail\\",
                                 "slash\\\"quote", "C:\\Program Files\\", "ソフト 日本語"};

}  // namespace fixture
