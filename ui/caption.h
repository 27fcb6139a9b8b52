// Access keys in captions: "&" marks the next character; "&&" stands for a plain "&".
#pragma once

#include <string_view>

// The marked access key as an upper-case ASCII letter or digit, or 0 when there is none.
// Captions are the program's own text: double-byte characters of code page 932 are stepped over
// whole on any system, so a trail byte is never taken for "&".
char AccessKeyOf(std::string_view caption);

