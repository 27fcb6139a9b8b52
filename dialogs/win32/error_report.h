// The application's error report for failures that escape a handler.
#pragma once

#include "base/failure.h"

// Releases any mouse capture; shows nothing for EAbort; otherwise shows the error box.
void ReportError(const Exception& failure);

// The error box alone: the message (with the "." rule) under the application title, stop icon
// and one OK button, owned by the application window, every other window of the program disabled
// meanwhile. The start-up guard uses it directly.
void ShowErrorBox(const Exception& failure);
