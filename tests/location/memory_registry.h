// An in-memory registry below HKEY_CURRENT_USER for tests and native builds. Tests decide what
// exists, which keys refuse full access, which calls fail, and read back every call made.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "location/registry_api.h"

class MemoryRegistry : public RegistryApi {
 public:
  struct Value {
    uint32_t type = kRegNone;
    std::vector<uint8_t> data;
  };
  enum class Op { Create, Open, QueryInfo, QueryData, Set };

  MemoryRegistry();
  ~MemoryRegistry() override;

  // Setup and inspection. Paths are below HKEY_CURRENT_USER ("" is the hive itself), names
  // compared without regard to ASCII case, as the registry does.
  void AddKey(const std::string& path);
  void PutValue(const std::string& path, const std::string& name, uint32_t type, const std::string& bytes);
  void PutDword(const std::string& path, const std::string& name, uint32_t value);
  bool KeyExists(const std::string& path) const;
  const Value* FindValue(const std::string& path, const std::string& name) const;
  size_t SubKeyCount(const std::string& path) const;
  size_t ValueCount(const std::string& path) const;
  // The key may be opened for reading only: any open or create asking for more fails.
  void DenyFullAccess(const std::string& path);
  // The (skip + 1)-th and every later call of kind op on the key at path fails.
  void FailOn(Op op, const std::string& path, int skip = 0);

  // Handles handed out and not yet closed (the hive's own handle is never counted).
  size_t OpenHandles() const { return handles_.size(); }
  // One line per call: "create Software\KORVA", "query Software\KORVA\VELDRAN GameDir", ...
  const std::vector<std::string>& Calls() const { return calls_; }
  void ClearCalls() { calls_.clear(); }

  bool CreateKey(RegKey parent, const std::string& subKey, uint32_t access, RegKey* result) override;
  bool OpenKey(RegKey parent, const std::string& subKey, uint32_t access, RegKey* result) override;
  bool QueryValue(RegKey key, const std::string& name, uint32_t* type, uint8_t* data, uint32_t* size) override;
  bool SetValue(RegKey key, const std::string& name, uint32_t type, const uint8_t* data, uint32_t size) override;
  void CloseKey(RegKey key) override;

 private:
  struct Node;
  struct Failure {
    Op op;
    std::string path;
    int skip;
  };

  Node* Resolve(RegKey key) const;
  Node* Walk(Node* from, const std::string& path, bool create);
  const Node* Find(const std::string& path) const;
  std::string PathOf(const Node* node) const;
  std::string Joined(const Node* base, const std::string& subKey) const;
  bool Fails(Op op, const std::string& path);
  RegKey NewHandle(Node* node);

  std::unique_ptr<Node> root_;
  std::map<RegKey, Node*> handles_;
  RegKey nextHandle_ = 0x1000;
  std::vector<Failure> failures_;
  std::vector<std::string> calls_;
};
