// The system's code page for the length of a test; natively it is 932 unless a test picks another.
#pragma once

#include "base/code_page.h"

struct SystemIs {
  explicit SystemIs(unsigned page) { OverrideSystemCodePage(MultibyteCodePage(page)); }
  ~SystemIs() { OverrideSystemCodePage(std::nullopt); }
};
