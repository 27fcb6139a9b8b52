// Starting dialog_host (tests/dialogs/dialog_host.cpp) the way its header describes.
#pragma once

#include <string>

#include "tests/e2e/driver/driver.h"

namespace host {

// Message kinds and button bits as dialog_host reads them: numbers, one bit per button kind.
enum Kind { kWarning = 0, kError = 1, kInformation = 2, kConfirmation = 3, kCustom = 4 };
enum Button : unsigned {
  kYes = 1u << 0,
  kNo = 1u << 1,
  kOK = 1u << 2,
  kCancel = 1u << 3,
  kAbort = 1u << 4,
  kHelp = 1u << 10,
};

// `dialog_host message TEXT KIND BUTTONS 0`: one message dialog; the exit code is its result.
inline e2e::Process Message(const std::string& text, Kind kind, unsigned buttons,
                            const std::string& exe = "dialog_host.exe") {
  return e2e::Process::Launch(exe, {"message", text, std::to_string(static_cast<int>(kind)),
                                    std::to_string(buttons), "0"});
}

// `dialog_host error MESSAGE [abort]`: a click handler raises a failure with MESSAGE (an
// EAbort with `abort`); the error report shows it, and the host exits 0 once it is dismissed.
inline e2e::Process Error(const std::string& message, bool abort = false,
                          const std::string& exe = "dialog_host.exe") {
  std::vector<std::string> args{"error", message};
  if (abort) args.push_back("abort");
  return e2e::Process::Launch(exe, args);
}

}  // namespace host
