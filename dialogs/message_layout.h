// The message dialog's kinds, buttons and layout arithmetic, free of the platform: every length
// comes from a measurer, so the arithmetic is tested with a fake one.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/shown_text.h"
#include "ui/layout.h"

enum class DialogKind : uint8_t { Warning, Error, Information, Confirmation, Custom };

// In their fixed order, which is also the order of the buttons on the screen.
enum class DialogButton : uint8_t { Yes, No, OK, Cancel, Abort, Retry, Ignore, All, NoToAll, YesToAll, Help };
constexpr int kDialogButtonKinds = 11;

// A set of button kinds, one bit per kind; bits 11 to 15 are ignored.
class DialogButtons {
 public:
  constexpr DialogButtons() = default;
  constexpr explicit DialogButtons(uint16_t bits) : bits_(bits) {}
  constexpr DialogButtons(DialogButton button) : bits_(static_cast<uint16_t>(1u << static_cast<int>(button))) {}

  constexpr bool Has(DialogButton button) const { return (bits_ >> static_cast<int>(button)) & 1u; }
  constexpr uint16_t Bits() const { return bits_; }
  constexpr bool Empty() const { return (bits_ & 0x7FF) == 0; }
  // The kinds present, in the fixed order.
  std::vector<DialogButton> Kinds() const;

  friend constexpr DialogButtons operator|(DialogButtons a, DialogButtons b) {
    return DialogButtons(static_cast<uint16_t>(a.bits_ | b.bits_));
  }

 private:
  uint16_t bits_ = 0;
};

constexpr DialogButtons operator|(DialogButton a, DialogButton b) { return DialogButtons(a) | DialogButtons(b); }

// Window caption of a kind; empty for Custom, whose caption is the application title.
std::string DialogCaption(DialogKind kind);
// System standard icon (IDI_* value) of a kind; 0 for Custom, which has none.
int DialogIconId(DialogKind kind);
// Caption (with its "&" access-key mark), control name and result of a button kind.
std::string ButtonCaption(DialogButton button);
std::string ButtonName(DialogButton button);
int ButtonResult(DialogButton button);

// OK, else Yes, else Retry; none otherwise.
std::optional<DialogButton> DefaultButtonOf(DialogButtons buttons);
// Cancel, else No, else OK; none otherwise.
std::optional<DialogButton> CancelButtonOf(DialogButtons buttons);

struct TextSize {
  int Width;
  int Height;
};

// Measures text in the message font.
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  // One line, as it is.
  virtual TextSize TextExtent(const std::string& text) = 0;
  // One line, "&" taken as an access-key mark.
  virtual TextSize CaptionExtent(const std::string& caption) = 0;
  // Word-wrapped at maxWidth, tabs expanded: the widest line and the height of all lines.
  virtual TextSize WrappedExtent(const std::string& text, int maxWidth) = 0;
};

// Each button kind's caption width, measured the first time the kind is used and then kept.
class ButtonCaptionWidths {
 public:
  ButtonCaptionWidths() { widths_.fill(-1); }
  int Width(DialogButton button, TextMeasurer& measurer);

 private:
  std::array<int, kDialogButtonKinds> widths_;
};

using ui::LayoutRect;

struct PlacedButton {
  DialogButton Kind;
  LayoutRect Bounds;
};

struct MessageDialogLayout {
  int CharWidth;   // cx: average width of the 52 letters
  int CharHeight;  // cy
  int HorzMargin;
  int VertMargin;
  int HorzSpacing;
  int VertSpacing;
  int ButtonWidth;
  int ButtonHeight;
  int ButtonSpacing;
  bool HasIcon;
  LayoutRect Icon;
  LayoutRect Text;
  int ButtonRowWidth;
  std::vector<PlacedButton> Buttons;  // in the fixed order
  int ClientWidth;
  int ClientHeight;
  std::optional<DialogButton> Default;
  std::optional<DialogButton> Cancel;
};

constexpr int kDialogIconSize = 32;

MessageDialogLayout LayoutMessageDialog(const std::string& text, DialogKind kind, DialogButtons buttons,
                                        int screenWidth, TextMeasurer& measurer, ButtonCaptionWidths& widths);

// What Ctrl+C puts on the clipboard: caption, text and the button captions (each followed by
// three spaces, "&" removed), each block between dividers of 27 "-" and CR LF. Each part keeps its
// runs, so that the text can be had as shown as well as byte for byte.
ShownText MessageClipboardText(const ShownText& caption, const ShownText& text,
                               const std::vector<ShownText>& buttonCaptions);
