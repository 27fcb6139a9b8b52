// Version resource: nodes of (length, value length, type, UTF-16 key, value, children), each
// child on a 4-byte boundary; lengths are counted again when the tree is written back.
#include "tools/version_resource.h"

#include <cstdlib>

#include "tools/pe_image.h"

namespace pe {

namespace {

struct Node {
  uint16_t type = 0;  // 1: the value is text
  std::u16string key;
  std::vector<uint8_t> value;
  std::vector<Node> children;
};

uint16_t Get16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

size_t Align4(size_t v) { return (v + 3) & ~size_t{3}; }

// Reads the node at `at`, which must end by `end`.
Node ReadNode(const std::vector<uint8_t>& b, size_t at, size_t end, int depth) {
  if (depth > 4 || at + 6 > end) throw FormatError("malformed version resource");
  const size_t length = Get16(b, at);
  const size_t valueLength = Get16(b, at + 2);
  Node node;
  node.type = Get16(b, at + 4);
  if (length < 6 || at + length > end) throw FormatError("malformed version resource");
  end = at + length;
  size_t p = at + 6;
  for (;; p += 2) {
    if (p + 2 > end) throw FormatError("malformed version resource");
    const char16_t c = Get16(b, p);
    if (c == 0) break;
    node.key.push_back(c);
  }
  p = Align4(p + 2);
  const size_t valueBytes = node.type == 1 ? 2 * valueLength : valueLength;
  if (p + valueBytes > end) throw FormatError("malformed version resource");
  node.value.assign(b.begin() + p, b.begin() + p + valueBytes);
  for (p = Align4(p + valueBytes); p < end; p = Align4(p)) {
    node.children.push_back(ReadNode(b, p, end, depth + 1));
    p += Get16(b, p);
  }
  return node;
}

void Put16(std::vector<uint8_t>& b, size_t at, size_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void WriteNode(const Node& node, std::vector<uint8_t>& out) {
  const size_t at = out.size();
  out.resize(at + 6);
  for (char16_t c : node.key) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  out.resize(Align4(out.size() + 2));
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const Node& child : node.children) {
    out.resize(Align4(out.size()));
    WriteNode(child, out);
  }
  if (out.size() - at > 0xFFFF) throw FormatError("version resource too large");
  Put16(out, at, out.size() - at);
  Put16(out, at + 2, node.type == 1 ? node.value.size() / 2 : node.value.size());
  Put16(out, at + 4, node.type);
}

Node Text(const std::u16string& key, const std::string& ascii) {
  Node n;
  n.type = 1;
  n.key = key;
  for (char c : ascii) {
    n.value.push_back(static_cast<uint8_t>(c));
    n.value.push_back(0);
  }
  n.value.insert(n.value.end(), {0, 0});
  return n;
}

}  // namespace

Version Version::Parse(const std::string& text) {
  Version v;
  v.text = text;
  size_t part = 0, p = 0;
  while (true) {
    size_t digits = 0;
    unsigned long n = 0;
    while (p < text.size() && text[p] >= '0' && text[p] <= '9' && digits < 6) n = n * 10 + (text[p++] - '0'), ++digits;
    if (digits == 0 || n > 0xFFFF || part == 4) throw std::invalid_argument("bad version \"" + text + "\" (want X.Y.Z)");
    v.parts[part++] = static_cast<uint16_t>(n);
    if (p == text.size()) return v;
    if (text[p++] != '.') throw std::invalid_argument("bad version \"" + text + "\" (want X.Y.Z)");
  }
}

std::vector<uint8_t> SetVersion(const std::vector<uint8_t>& resource, const Version& version) {
  Node root = ReadNode(resource, 0, resource.size(), 0);
  if (root.key != u"VS_VERSION_INFO" || root.value.size() < 24 || Get16(root.value, 0) != 0x04BD ||
      Get16(root.value, 2) != 0xFEEF)
    throw FormatError("malformed version resource");
  const auto& v = version.parts;
  for (size_t field : {8, 16}) {  // file version, then product version: MS then LS words
    Put16(root.value, field, v[1]);
    Put16(root.value, field + 2, v[0]);
    Put16(root.value, field + 4, v[3]);
    Put16(root.value, field + 6, v[2]);
  }
  for (Node& info : root.children) {
    if (info.key != u"StringFileInfo") continue;
    for (Node& table : info.children) {
      for (const char16_t* key : {u"FileVersion", u"ProductVersion"}) {
        bool found = false;
        for (Node& s : table.children)
          if (s.key == key) s = Text(key, version.text), found = true;
        if (!found) table.children.push_back(Text(key, version.text));
      }
    }
  }
  std::vector<uint8_t> out;
  WriteNode(root, out);
  return out;
}

}  // namespace pe
