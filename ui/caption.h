// Access keys in captions: "&" marks the next character; "&&" stands for a plain "&".
#pragma once

#include <string_view>

#include "base/shown_text.h"

// The marked access key as an upper-case ASCII letter or digit, or 0 when there is none. Each run
// is scanned by its own code page's characters, so a trail byte is never taken for "&" nor a
// character of more than one byte for a key.
char AccessKeyOf(const ShownText& caption);
// The same for one of the program's own captions (Shift-JIS on every system).
inline char AccessKeyOf(std::string_view caption) { return AccessKeyOf(OwnText(caption)); }
