// Test host for the end-to-end driver: opens one standard dialog as the command line says.
//
//   dialog_host message TEXT KIND BUTTONS HELPCTX
//       Shows the message dialog and exits with its result code (0..10).
//       KIND: a number 0..4 or a name (Warning, Error, Information, Confirmation, Custom).
//       BUTTONS: a number (decimal or 0x hex, one bit per kind) or names joined by "," or "|"
//       (Yes, No, OK, Cancel, Abort, Retry, Ignore, All, NoToAll, YesToAll, Help); "" is none.
//       HELPCTX: a decimal number.
//   dialog_host error MESSAGE [abort]
//       Shows the small form "TDialogHost" (caption "dialog_host") and presses its button
//       "Button1" itself; the button's handler raises a failure with MESSAGE (an EAbort with
//       "abort"), so the error report shows over the form. Once the report is dismissed (at once
//       for "abort") the host exits 0.
//
// Exit code 100 means a command line the host does not understand.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/failure.h"
#include "dialogs/win32/error_report.h"
#include "dialogs/win32/message_dialog.h"
#include "ui/win32/application.h"
#include "ui/win32/form.h"

namespace {

constexpr int kUsage = 100;

bool ParseKind(const std::string& s, DialogKind& kind) {
  const char* names[] = {"Warning", "Error", "Information", "Confirmation", "Custom"};
  for (int i = 0; i < 5; ++i) {
    if (s == names[i] || s == std::to_string(i)) {
      kind = static_cast<DialogKind>(i);
      return true;
    }
  }
  return false;
}

bool ParseButtons(const std::string& s, DialogButtons& buttons) {
  if (!s.empty() && s[0] >= '0' && s[0] <= '9') {
    char* end = nullptr;
    unsigned long bits = std::strtoul(s.c_str(), &end, 0);
    if (*end != '\0' || bits > 0xFFFF) return false;
    buttons = DialogButtons(static_cast<uint16_t>(bits));
    return true;
  }
  buttons = DialogButtons();
  size_t start = 0;
  while (start < s.size()) {
    size_t end = s.find_first_of(",|", start);
    std::string name = s.substr(start, end == std::string::npos ? std::string::npos : end - start);
    bool found = false;
    for (int i = 0; i < kDialogButtonKinds; ++i) {
      auto kind = static_cast<DialogButton>(i);
      if (name == ButtonName(kind)) {
        buttons = buttons | kind;
        found = true;
      }
    }
    if (!found) return false;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return true;
}

class TDialogHost : public TForm {
 public:
  TDialogHost();
  void Button1Click();

  TButton* Button1;
  std::string message;
  bool abort = false;
};

const TLayoutRow<TDialogHost> kHostLayout[] = {
  {Field<&TDialogHost::Button1>, "Button1", 8, 8, 113, 33, "実行", 0, &TDialogHost::Button1Click},
};

TDialogHost::TDialogHost()
    : TForm(TFormSpec{"TDialogHost", OwnText("dialog_host"), TBorderStyle::Dialog, 0, 0, 200, 60, true}) {
  CreateControls(this, kHostLayout);
  CenterOnShow = true;
}

void TDialogHost::Button1Click() {
  if (abort) throw EAbort();
  throw Exception(message);
}

TDialogHost* DialogHost = nullptr;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return kUsage;
  std::string command = argv[1];
  if (command == "message" && argc == 6) {
    DialogKind kind;
    DialogButtons buttons;
    if (!ParseKind(argv[3], kind) || !ParseButtons(argv[4], buttons)) return kUsage;
    Application->Initialize();
    return ShowMessageDialog(argv[2], kind, buttons, std::atoi(argv[5]));
  }
  if (command == "error" && (argc == 3 || argc == 4)) {
    if (argc == 4 && std::strcmp(argv[3], "abort") != 0) return kUsage;
    Application->OnException = ReportError;
    bool ok = RunGuarded([&] {
      Application->Initialize();
      Application->CreateForm(DialogHost);
      DialogHost->message = argv[2];
      DialogHost->abort = argc == 4;
      DialogHost->Show();
      // The click notification goes through the form's window procedure, as a user's click
      // would; the report shows inside it and the call returns once it is dismissed.
      HWND button = DialogHost->Button1->Handle();
      SendMessageA(DialogHost->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    }, ShowErrorBox);
    return ok ? 0 : 1;
  }
  return kUsage;
}
