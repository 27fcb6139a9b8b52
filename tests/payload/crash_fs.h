// An in-memory file system that models what survives a crash, for the install sequence's tests.
//
// Every operation is counted. CrashAt(n) makes operation n and every later one throw TCrash
// without effect (the machine is gone); Survivor() is then what the disk holds at the next
// start: every completed create, move, link and delete (the backend asks for write-through), and
// for each file its flushed data; its unflushed data survives too, or is lost, as chosen.
// FailAt(n) makes operation n fail once the way the platform reports it, and nothing else.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "payload/file_ops.h"

namespace crash_model {

struct TCrash {};

class TCrashFs : public TFileOps {
 public:
  // Files that can be neither replaced nor deleted (read-only, or held open elsewhere).
  std::set<std::string> Held;
  bool LinksSupported = true;

  void CrashAt(long op) { crashAt_ = op; }
  void FailAt(long op) { failAt_.insert(op); }
  // One line per operation so far: its name and paths.
  const std::vector<std::string>& Log() const { return log_; }
  long Ops() const { return ops_; }
  // Operations that can report a failure, so far.
  long FallibleOps() const { return fallible_; }

  void Put(const std::string& path, const std::string& data) {
    auto node = std::make_shared<Node>();
    node->data = node->durable = data;
    names_[path] = node;
  }
  bool Has(const std::string& path) const { return names_.count(path) != 0; }
  std::string Content(const std::string& path) const { return names_.at(path)->data; }
  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (const auto& n : names_) paths.push_back(n.first);
    return paths;
  }

  // The disk after a crash now; hard links stay shared.
  TCrashFs Survivor(bool unflushedSurvives) const {
    TCrashFs next;
    next.Held = Held;
    next.LinksSupported = LinksSupported;
    std::map<const Node*, std::shared_ptr<Node>> copies;
    for (const auto& [path, node] : names_) {
      std::shared_ptr<Node>& copy = copies[node.get()];
      if (!copy) {
        copy = std::make_shared<Node>();
        copy->data = copy->durable = unflushedSurvives ? node->data : node->durable;
      }
      next.names_[path] = copy;
    }
    return next;
  }

  std::vector<std::string> List(const std::string& folder) override {
    Step(false, "List " + folder);
    std::vector<std::string> found;
    for (const auto& n : names_)
      if (n.first.compare(0, folder.size(), folder) == 0 && n.first.find('\\', folder.size()) == std::string::npos)
        found.push_back(n.first.substr(folder.size()));
    return found;
  }
  bool Exists(const std::string& path) override {
    Step(false, "Exists " + path);
    return Has(path);
  }
  bool CanReplace(const std::string& path) override { return Step(true, "CanReplace " + path) && !Held.count(path); }
  Handle Create(const std::string& path) override {
    if (!Step(true, "Create " + path) || Has(path) || !FolderExists(path)) return kNoHandle;
    names_[path] = std::make_shared<Node>();
    open_.push_back(names_[path]);
    return static_cast<Handle>(open_.size() - 1);
  }
  size_t Write(Handle file, const void* data, size_t count) override {
    if (!Step(true, "Write")) return 0;
    open_.at(file)->data.append(static_cast<const char*>(data), count);
    return count;
  }
  bool Flush(Handle file) override {
    if (!Step(true, "Flush")) return false;
    open_.at(file)->durable = open_.at(file)->data;
    return true;
  }
  void Close(Handle file) override { open_.at(file).reset(); }
  bool Read(const std::string& path, std::string* content) override {
    if (!Step(true, "Read " + path) || !Has(path)) return false;
    *content = names_[path]->data;
    return true;
  }
  bool Replace(const std::string& from, const std::string& to) override {
    if (!Step(true, "Replace " + from + " " + to) || !Has(from) || Held.count(to) || Held.count(from)) return false;
    names_[to] = names_[from];
    names_.erase(from);
    return true;
  }
  bool Link(const std::string& existing, const std::string& newName) override {
    if (!Step(true, "Link " + existing + " " + newName) || !LinksSupported || !Has(existing) || Has(newName)) return false;
    names_[newName] = names_[existing];
    return true;
  }
  bool Copy(const std::string& from, const std::string& to) override {
    if (!Step(true, "Copy " + from + " " + to) || !Has(from) || Has(to)) return false;
    auto node = std::make_shared<Node>();
    node->data = node->durable = names_[from]->data;
    names_[to] = node;
    return true;
  }
  bool Delete(const std::string& path) override {
    if (!Step(true, "Delete " + path) || !Has(path) || Held.count(path)) return false;
    names_.erase(path);
    return true;
  }

 private:
  struct Node {
    std::string data;     // what a reader sees now
    std::string durable;  // what a crash is sure to leave
  };

  // Counts an operation; false when it is the one chosen to fail.
  bool Step(bool fallible, const std::string& what) {
    const long op = ops_++;
    if (crashAt_ >= 0 && op >= crashAt_) throw TCrash();
    log_.push_back(what);
    if (!fallible) return true;
    ++fallible_;
    return failAt_.count(op) == 0;
  }

  // A file's folder exists when some file is in it (the tests' folders are never empty).
  bool FolderExists(const std::string& path) const {
    const std::string folder = path.substr(0, path.rfind('\\') + 1);
    for (const auto& n : names_)
      if (n.first.compare(0, folder.size(), folder) == 0) return true;
    return folder.empty();
  }

  std::map<std::string, std::shared_ptr<Node>> names_;
  std::vector<std::shared_ptr<Node>> open_;
  long ops_ = 0;
  long fallible_ = 0;
  long crashAt_ = -1;
  std::set<long> failAt_;
  std::vector<std::string> log_;
};

}  // namespace crash_model
