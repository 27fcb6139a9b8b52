// The modal message dialog: a text, a kind (caption and icon) and a set of buttons.
#pragma once

#include <string>

#include "dialogs/message_layout.h"

// Shows the dialog modally, owned by the application, and returns the result of the button that
// closed it (1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No, 8 All, 9 NoToAll,
// 10 YesToAll); the close box and Alt+F4 give 2. helpContext (0: none) is what the Help button
// asks the application's help facility to show.
int ShowMessageDialog(const std::string& text, DialogKind kind, DialogButtons buttons, int helpContext);
