// Character-aware scanning of Shift-JIS and system byte strings.
#include "base/sjis.h"

namespace sjis {
namespace {

template <typename Fold>
std::string FoldAscii(std::string_view s, Fold fold) {
  std::string out(s);
  ForEachChar(s, [&](size_t i, size_t len) {
    if (len == 1) out[i] = fold(out[i]);
  });
  return out;
}

}  // namespace

size_t LastCharStart(std::string_view s) {
  size_t last = std::string_view::npos;
  ForEachChar(s, [&](size_t i, size_t) { last = i; });
  return last;
}

std::string_view LastChar(std::string_view s) { return LastChar(s, SystemCodePage()); }

std::string_view LastChar(std::string_view s, MultibyteCodePage page) {
  size_t start = std::string_view::npos;
  ForEachChar(s, page, [&](size_t i, size_t) { start = i; });
  return start == std::string_view::npos ? std::string_view() : s.substr(start);
}

size_t LastDelimiter(std::string_view delimiters, std::string_view s) {
  size_t found = std::string_view::npos;
  ForEachChar(s, [&](size_t i, size_t len) {
    if (len == 1 && delimiters.find(s[i]) != std::string_view::npos) found = i;
  });
  return found;
}

std::string_view Truncate(std::string_view s, size_t maxBytes) { return Truncate(s, maxBytes, SystemCodePage()); }

std::string_view Truncate(std::string_view s, size_t maxBytes, MultibyteCodePage page) {
  size_t end = 0;
  ForEachChar(s, page, [&](size_t i, size_t len) {
    if (i == end && i + len <= maxBytes) end = i + len;
  });
  return s.substr(0, end);
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  std::string part;
  ForEachChar(path, [&](size_t i, size_t len) {
    if (len == 1 && path[i] == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.append(path.substr(i, len));
    }
  });
  if (!part.empty()) parts.push_back(part);
  return parts;
}

bool EndsWithBackslash(std::string_view s) { return LastChar(s) == "\\"; }

char UpperAsciiChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

char LowerAsciiChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string UpperAscii(std::string_view s) { return FoldAscii(s, UpperAsciiChar); }

std::string LowerAscii(std::string_view s) { return FoldAscii(s, LowerAsciiChar); }

std::vector<size_t> DelimiterPositions(std::string_view delimiters, std::string_view s) {
  std::vector<size_t> positions;
  ForEachChar(s, [&](size_t i, size_t len) {
    if (len == 1 && delimiters.find(s[i]) != std::string_view::npos) positions.push_back(i);
  });
  return positions;
}

}  // namespace sjis
