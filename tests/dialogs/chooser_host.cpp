// Opens the folder chooser with arguments from the command line and reports what it returned.
//   chooser_host FOLDER OPTIONS HELPCONTEXT [RESULTFILE]
// OPTIONS is the option bits in decimal (7: EditablePath, CreateOnAccept and ConfirmCreate).
// Exit code: 1 accepted, 0 declined, 2 a failure escaped (and was shown by the error report),
// 3 usage. The report, printed and written to RESULTFILE, has four lines: the outcome
// ("accepted", "declined" or "failed"), the folder string afterwards, the process's current
// folder afterwards and the last help context asked of the application.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/failure.h"
#include "dialogs/win32/chooser_backends.h"
#include "dialogs/win32/error_report.h"
#include "dialogs/win32/folder_chooser.h"
#include "location/win32/backends.h"
#include "ui/win32/application.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: chooser_host FOLDER OPTIONS HELPCONTEXT [RESULTFILE]\n");
    return 3;
  }
  UseWin32LocationBackends();
  Application->Initialize();
  Application->OnException = ReportError;
  std::string folder = argv[1];
  unsigned options = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
  int32_t helpContext = static_cast<int32_t>(std::strtol(argv[3], nullptr, 10));

  std::string outcome;
  int code;
  try {
    bool accepted = ChooseFolder(folder, options, helpContext);
    outcome = accepted ? "accepted" : "declined";
    code = accepted ? 1 : 0;
  } catch (const Exception& failure) {
    // Where a window's handler would have let it escape: the error report shows it.
    Application->HandleException(failure);
    outcome = "failed";
    code = 2;
  }
  std::string report = outcome + "\n" + folder + "\n" + chooser::CurrentFolder() + "\n" +
                       std::to_string(Application->LastHelpContext()) + "\n";
  std::fputs(report.c_str(), stdout);
  if (argc > 4) {
    if (std::FILE* out = std::fopen(argv[4], "wb")) {
      std::fputs(report.c_str(), out);
      std::fclose(out);
    }
  }
  return code;
}
