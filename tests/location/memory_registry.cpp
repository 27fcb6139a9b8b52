// In-memory registry: a tree of keys with values, handles, injected failures and a call log.
#include "tests/location/memory_registry.h"

#include "base/sjis.h"

struct MemoryRegistry::Node {
  std::string name;
  Node* parent = nullptr;
  bool readOnly = false;
  std::map<std::string, std::unique_ptr<Node>> children;  // by upper-cased name
  std::map<std::string, Value> values;                    // by upper-cased name
};

namespace {

bool AsksMoreThanRead(uint32_t access) { return (access & ~kKeyRead) != 0; }

}  // namespace

MemoryRegistry::MemoryRegistry() : root_(std::make_unique<Node>()) {}

MemoryRegistry::~MemoryRegistry() = default;

void MemoryRegistry::AddKey(const std::string& path) { Walk(root_.get(), path, true); }

void MemoryRegistry::PutValue(const std::string& path, const std::string& name, uint32_t type,
                              const std::string& bytes) {
  Value& v = Walk(root_.get(), path, true)->values[sjis::UpperAscii(name)];
  v.type = type;
  v.data.assign(bytes.begin(), bytes.end());
}

void MemoryRegistry::PutDword(const std::string& path, const std::string& name, uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  PutValue(path, name, kRegDword, bytes);
}

bool MemoryRegistry::KeyExists(const std::string& path) const { return Find(path) != nullptr; }

const MemoryRegistry::Value* MemoryRegistry::FindValue(const std::string& path, const std::string& name) const {
  const Node* node = Find(path);
  if (!node) return nullptr;
  auto it = node->values.find(sjis::UpperAscii(name));
  return it == node->values.end() ? nullptr : &it->second;
}

size_t MemoryRegistry::SubKeyCount(const std::string& path) const {
  const Node* node = Find(path);
  return node ? node->children.size() : 0;
}

size_t MemoryRegistry::ValueCount(const std::string& path) const {
  const Node* node = Find(path);
  return node ? node->values.size() : 0;
}

void MemoryRegistry::DenyFullAccess(const std::string& path) { Walk(root_.get(), path, true)->readOnly = true; }

void MemoryRegistry::FailOn(Op op, const std::string& path, int skip) {
  failures_.push_back({op, sjis::UpperAscii(path), skip});
}

bool MemoryRegistry::CreateKey(RegKey parent, const std::string& subKey, uint32_t access, RegKey* result) {
  Node* base = Resolve(parent);
  std::string path = base ? Joined(base, subKey) : subKey;
  calls_.push_back("create " + path);
  if (!base || Fails(Op::Create, path)) return false;
  Node* existing = Walk(base, subKey, false);
  if (existing && existing->readOnly && AsksMoreThanRead(access)) return false;
  *result = NewHandle(existing ? existing : Walk(base, subKey, true));
  return true;
}

bool MemoryRegistry::OpenKey(RegKey parent, const std::string& subKey, uint32_t access, RegKey* result) {
  Node* base = Resolve(parent);
  std::string path = base ? Joined(base, subKey) : subKey;
  calls_.push_back("open " + path);
  if (!base || Fails(Op::Open, path)) return false;
  Node* node = Walk(base, subKey, false);
  if (!node || (node->readOnly && AsksMoreThanRead(access))) return false;
  *result = NewHandle(node);
  return true;
}

bool MemoryRegistry::QueryValue(RegKey key, const std::string& name, uint32_t* type, uint8_t* data,
                                uint32_t* size) {
  Node* node = Resolve(key);
  std::string path = node ? PathOf(node) : "?";
  calls_.push_back((data ? "read " : "query ") + path + " " + name);
  if (!node || Fails(data ? Op::QueryData : Op::QueryInfo, path)) return false;
  auto it = node->values.find(sjis::UpperAscii(name));
  if (it == node->values.end()) return false;
  const Value& v = it->second;
  uint32_t actual = static_cast<uint32_t>(v.data.size());
  if (data) {
    if (!size || *size < actual) {
      if (size) *size = actual;
      return false;
    }
    std::copy(v.data.begin(), v.data.end(), data);
  }
  if (type) *type = v.type;
  if (size) *size = actual;
  return true;
}

bool MemoryRegistry::SetValue(RegKey key, const std::string& name, uint32_t type, const uint8_t* data,
                              uint32_t size) {
  Node* node = Resolve(key);
  std::string path = node ? PathOf(node) : "?";
  calls_.push_back("set " + path + " " + name);
  if (!node || Fails(Op::Set, path)) return false;
  Value& v = node->values[sjis::UpperAscii(name)];
  v.type = type;
  v.data.assign(data, data + size);
  return true;
}

void MemoryRegistry::CloseKey(RegKey key) {
  auto it = handles_.find(key);
  calls_.push_back("close " + (it == handles_.end() ? std::string("?") : PathOf(it->second)));
  if (it != handles_.end()) handles_.erase(it);
}

MemoryRegistry::Node* MemoryRegistry::Resolve(RegKey key) const {
  if (key == kHkeyCurrentUser) return root_.get();
  auto it = handles_.find(key);
  return it == handles_.end() ? nullptr : it->second;
}

MemoryRegistry::Node* MemoryRegistry::Walk(Node* from, const std::string& path, bool create) {
  Node* node = from;
  for (const std::string& part : sjis::SplitPath(path)) {
    std::unique_ptr<Node>& child = node->children[sjis::UpperAscii(part)];
    if (!child) {
      if (!create) {
        node->children.erase(sjis::UpperAscii(part));
        return nullptr;
      }
      child = std::make_unique<Node>();
      child->name = part;
      child->parent = node;
    }
    node = child.get();
  }
  return node;
}

const MemoryRegistry::Node* MemoryRegistry::Find(const std::string& path) const {
  const Node* node = root_.get();
  for (const std::string& part : sjis::SplitPath(path)) {
    auto it = node->children.find(sjis::UpperAscii(part));
    if (it == node->children.end()) return nullptr;
    node = it->second.get();
  }
  return node;
}

std::string MemoryRegistry::PathOf(const Node* node) const {
  std::string path;
  for (; node && node->parent; node = node->parent) path = path.empty() ? node->name : node->name + "\\" + path;
  return path;
}

std::string MemoryRegistry::Joined(const Node* base, const std::string& subKey) const {
  std::string path = PathOf(base);
  for (const std::string& part : sjis::SplitPath(subKey)) path = path.empty() ? part : path + "\\" + part;
  return path;
}

bool MemoryRegistry::Fails(Op op, const std::string& path) {
  std::string upper = sjis::UpperAscii(path);
  for (Failure& f : failures_) {
    if (f.op != op || f.path != upper) continue;
    if (f.skip > 0) {
      --f.skip;
      return false;
    }
    return true;
  }
  return false;
}

RegKey MemoryRegistry::NewHandle(Node* node) {
  RegKey handle = nextHandle_;
  nextHandle_ += 4;
  handles_[handle] = node;
  return handle;
}
