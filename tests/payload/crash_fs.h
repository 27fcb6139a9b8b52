// An in-memory file system that models what survives a crash, and names files as Win32 does,
// for the install sequence's tests.
//
// Names: letter case is folded, "/" is taken for "\", empty parts (doubled separators) and "."
// drop out, ".." goes up (never above a root), trailing dots and spaces of the last part go, a
// last part that is a device name (CON, NUL, COM1, ...) names a device, and a relative or
// drive-relative path is taken from CurrentFolder. Folders are entries of their own.
//
// Every operation is counted. CrashAt(n) makes operation n and every later one throw TCrash
// without effect (the machine is gone); Survivor() is then what the disk holds at the next
// start: every completed create, move, link and delete (the backend asks for write-through), and
// for each file its flushed data; its unflushed data survives too, or is lost, as chosen.
// FailAt(n) makes operation n fail once the way the platform reports it, and nothing else.
// Adversary, when set, runs before every operation and may remove, lock or create anything, as
// a virus scanner, the running game or another program may between any two steps.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/sjis.h"
#include "payload/file_ops.h"

namespace crash_model {

struct TCrash {};

class TCrashFs : public TFileOps {
 public:
  // Where relative paths are taken from: the process's current folder.
  std::string CurrentFolder = "C:\\app\\";
  bool LinksSupported = true;
  std::function<void(TCrashFs&, long op)> Adversary;

  void CrashAt(long op) { crashAt_ = op; }
  void FailAt(long op) { failAt_.insert(op); }
  // One line per operation so far: its name and paths, as given.
  const std::vector<std::string>& Log() const { return log_; }
  // Every path an operation other than List was given, as its Key (devices as \\.\NAME).
  const std::vector<std::string>& Named() const { return named_; }
  long Ops() const { return ops_; }
  // Operations that can report a failure, so far.
  long FallibleOps() const { return fallible_; }

  // Setting up and looking, outside the counted operations. Put and PutFolder make any folder
  // above that is missing.
  void Put(const std::string& path, const std::string& data) {
    const TName n = MustResolve(path);
    if (n.root) throw std::invalid_argument("a root is no file: " + path);
    MakeFolders(n);
    auto node = std::make_shared<Node>();
    node->data = node->durable = data;
    entries_[n.key] = {n.display, n.parentKey, false, node};
  }
  void PutFolder(const std::string& path) {
    const TName n = MustResolve(path);
    MakeFolders(n);
    if (!n.root) entries_[n.key] = {n.display, n.parentKey, true, nullptr};
  }
  void Remove(const std::string& path) {
    const std::optional<TName> n = Resolve(path);
    if (n && IsFile(n->key)) entries_.erase(n->key);
  }
  // A locked file can be neither replaced nor deleted (read-only, or held open elsewhere).
  void Lock(const std::string& path) { held_.insert(MustResolve(path).key); }
  void UnlockAll() { held_.clear(); }
  bool Has(const std::string& path) const {
    const std::optional<TName> n = Resolve(path);
    return n && IsFile(n->key);
  }
  bool HasFolder(const std::string& path) const {
    const std::optional<TName> n = Resolve(path);
    return n && IsFolder(*n);
  }
  std::string Content(const std::string& path) const { return entries_.at(MustResolve(path).key).node->data; }
  // Every file, spelled as it was created, in the order of the names as the platform compares them.
  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (const auto& [key, e] : entries_)
      if (!e.folder) paths.push_back(e.display);
    return paths;
  }
  // What every spelling of path folds to: the same key for the same file or folder.
  std::string Key(const std::string& path) const {
    const std::optional<TName> n = Resolve(path);
    return n ? n->key : "(invalid " + path + ")";
  }

  // The disk after a crash now; hard links stay shared, locks and the adversary are gone.
  TCrashFs Survivor(bool unflushedSurvives) const {
    TCrashFs next;
    next.CurrentFolder = CurrentFolder;
    next.LinksSupported = LinksSupported;
    next.roots_ = roots_;
    std::map<const Node*, std::shared_ptr<Node>> copies;
    for (const auto& [key, e] : entries_) {
      TEntry copy = e;
      if (e.node) {
        std::shared_ptr<Node>& node = copies[e.node.get()];
        if (!node) {
          node = std::make_shared<Node>();
          node->data = node->durable = unflushedSurvives ? e.node->data : e.node->durable;
        }
        copy.node = node;
      }
      next.entries_[key] = copy;
    }
    return next;
  }

  std::vector<std::string> List(const std::string& folder) override {
    Step(false, "List " + folder);
    std::vector<std::string> found;
    const std::optional<TName> n = Resolve(folder.empty() ? "." : folder);
    if (!n || !IsFolder(*n)) return found;
    for (const auto& [key, e] : entries_)
      if (e.parentKey == n->key) found.push_back(e.display.substr(e.display.size() - NameLength(e.display)));
    return found;
  }
  bool Exists(const std::string& path) override {
    const std::optional<TName> n = Operate(false, "Exists " + path, path);
    return n && IsFile(n->key);
  }
  bool CanReplace(const std::string& path) override {
    const std::optional<TName> n = Operate(true, "CanReplace " + path, path);
    if (!fallibleOk_ || !n || n->device) return false;
    return !held_.count(n->key) && !IsFolder(*n);
  }
  Handle Create(const std::string& path) override {
    const std::optional<TName> n = Operate(true, "Create " + path, path);
    if (!fallibleOk_ || !n || n->device || n->root || entries_.count(n->key) || !ParentExists(*n)) return kNoHandle;
    auto node = std::make_shared<Node>();
    entries_[n->key] = {n->display, n->parentKey, false, node};
    open_.push_back(node);
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
  bool Read(const std::string& path, size_t limit, std::string* content) override {
    const std::optional<TName> n = Operate(true, "Read " + path, path);
    if (!fallibleOk_ || !n || !IsFile(n->key) || held_.count(n->key)) return false;
    if (entries_[n->key].node->data.size() > limit) return false;
    *content = entries_[n->key].node->data;
    return true;
  }
  bool Size(const std::string& path, uint64_t* size) override {
    const std::optional<TName> n = Operate(false, "Size " + path, path);
    if (!n || !IsFile(n->key)) return false;
    *size = entries_[n->key].node->data.size();
    return true;
  }
  // A locked file is held without sharing: it cannot be read either.
  bool Hash(const std::string& path, TSha256::Digest* digest) override {
    const std::optional<TName> n = Operate(true, "Hash " + path, path);
    if (!fallibleOk_ || !n || !IsFile(n->key) || held_.count(n->key)) return false;
    const std::string& data = entries_[n->key].node->data;
    *digest = TSha256::Of(data.data(), data.size());
    return true;
  }
  bool Replace(const std::string& from, const std::string& to) override {
    const std::optional<TName> f = Operate(true, "Replace " + from + " " + to, from), t = Name(to);
    if (!fallibleOk_ || !f || !t || !IsFile(f->key) || held_.count(f->key) || t->device || t->root ||
        held_.count(t->key) || IsFolder(*t) || !ParentExists(*t))
      return false;
    TEntry moved = entries_[f->key];
    entries_.erase(f->key);
    moved.display = t->display;
    moved.parentKey = t->parentKey;
    entries_[t->key] = moved;
    return true;
  }
  bool Link(const std::string& existing, const std::string& newName) override {
    const std::optional<TName> e = Operate(true, "Link " + existing + " " + newName, existing), n = Name(newName);
    if (!fallibleOk_ || !LinksSupported || !e || !n || !IsFile(e->key) || n->device || n->root ||
        entries_.count(n->key) || !ParentExists(*n))
      return false;
    entries_[n->key] = {n->display, n->parentKey, false, entries_[e->key].node};
    return true;
  }
  bool Copy(const std::string& from, const std::string& to) override {
    const std::optional<TName> f = Operate(true, "Copy " + from + " " + to, from), t = Name(to);
    if (!fallibleOk_ || !f || !t || !IsFile(f->key) || held_.count(f->key) || t->device || t->root ||
        entries_.count(t->key) || !ParentExists(*t))
      return false;
    auto node = std::make_shared<Node>();
    node->data = node->durable = entries_[f->key].node->data;
    entries_[t->key] = {t->display, t->parentKey, false, node};
    return true;
  }
  bool Delete(const std::string& path) override {
    const std::optional<TName> n = Operate(true, "Delete " + path, path);
    if (!fallibleOk_ || !n || !IsFile(n->key) || held_.count(n->key)) return false;
    entries_.erase(n->key);
    return true;
  }

 private:
  struct Node {
    std::string data;     // what a reader sees now
    std::string durable;  // what a crash is sure to leave
  };
  struct TEntry {
    std::string display;    // the path as created, folders spelled as they were made
    std::string parentKey;  // the folder it is in
    bool folder = false;
    std::shared_ptr<Node> node;  // files only; shared by hard links
  };
  // A path resolved: key is the spelling every spelling of it folds to.
  struct TName {
    std::string key, parentKey, display;
    bool root = false, device = false;
  };

  static bool IsDevice(std::string name) {
    name = sjis::UpperAscii(name.substr(0, name.find('.')));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    static const std::set<std::string> kDevices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    if (kDevices.count(name)) return true;
    return name.size() == 4 && (name.compare(0, 3, "COM") == 0 || name.compare(0, 3, "LPT") == 0) && name[3] >= '1' &&
           name[3] <= '9';
  }
  static size_t NameLength(const std::string& display) {
    const size_t cut = sjis::LastDelimiter("\\", display);
    return cut == std::string::npos ? display.size() : display.size() - cut - 1;
  }

  // CurrentFolder must be absolute: a relative path is resolved from it.
  std::optional<TName> Resolve(std::string path) const {
    for (char& c : path)
      if (c == '/') c = '\\';  // never a trail byte: those start at 0x40
    std::string root;
    std::vector<std::string> parts;
    auto from = [&](const std::string& base) {
      const std::optional<TName> b = Resolve(base);
      if (!b) return false;
      root = b->key.substr(0, RootLength(b->key));
      const std::string below = b->display.substr(RootLength(b->display));
      parts = sjis::SplitPath(below);
      return true;
    };
    std::string rest = path;
    const bool letter = path.size() >= 2 && path[1] == ':' && sjis::UpperAsciiChar(path[0]) >= 'A' &&
                        sjis::UpperAsciiChar(path[0]) <= 'Z';
    if (path.compare(0, 2, "\\\\") == 0) {
      const std::vector<std::string> p = sjis::SplitPath(path);
      if (p.size() < 2 || p[0] == "." || p[0] == "?") return std::nullopt;
      root = "\\\\" + p[0] + "\\" + p[1];
      parts.assign(p.begin() + 2, p.end());
      rest.clear();
    } else if (letter && path.size() >= 3 && path[2] == '\\') {
      root = std::string(1, sjis::UpperAsciiChar(path[0])) + ":";
      rest = path.substr(3);
    } else if (letter) {
      // Drive-relative: from the current folder when it is on that drive, else from its root.
      const std::string drive = std::string(1, sjis::UpperAsciiChar(path[0])) + ":";
      if (sjis::UpperAscii(CurrentFolder.substr(0, 2)) == drive) {
        if (!from(CurrentFolder)) return std::nullopt;
      } else {
        root = drive;
      }
      rest = path.substr(2);
    } else if (path.compare(0, 1, "\\") == 0) {
      root = sjis::UpperAscii(CurrentFolder.substr(0, 2));
    } else if (!from(CurrentFolder)) {
      return std::nullopt;
    }
    for (const std::string& p : sjis::SplitPath(rest)) parts.push_back(p);
    std::vector<std::string> resolved;
    for (std::string p : parts) {
      if (p == ".") continue;
      if (p == "..") {
        if (!resolved.empty()) resolved.pop_back();
        continue;
      }
      resolved.push_back(p);
    }
    TName n;
    if (!resolved.empty()) {
      std::string& last = resolved.back();
      while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.pop_back();
      if (last.empty()) resolved.pop_back();
    }
    if (!resolved.empty() && IsDevice(resolved.back())) {
      n.device = true;
      n.key = n.display = "\\\\.\\" + sjis::UpperAscii(resolved.back());
      return n;
    }
    // Names that exist keep the spelling they were made with; a new one keeps the one given.
    n.key = sjis::UpperAscii(root);
    auto known = roots_.find(n.key);
    n.display = known != roots_.end() ? known->second : root;
    n.root = resolved.empty();
    for (const std::string& part : resolved) {
      n.parentKey = n.key;
      n.key += "\\" + sjis::UpperAscii(part);
      auto e = entries_.find(n.key);
      n.display = e != entries_.end() ? e->second.display : n.display + "\\" + part;
    }
    return n;
  }
  // A path that names a file or folder the model can hold: no device.
  TName MustResolve(const std::string& path) const {
    const std::optional<TName> n = Resolve(path);
    if (!n || n->device) throw std::invalid_argument("no such path in the model: " + path);
    return *n;
  }
  static size_t RootLength(const std::string& resolved) {
    if (resolved.compare(0, 2, "\\\\") != 0) return 2;
    const std::vector<size_t> cuts = sjis::DelimiterPositions("\\", resolved);
    return cuts.size() > 3 ? cuts[3] : resolved.size();
  }

  bool IsFile(const std::string& key) const {
    auto e = entries_.find(key);
    return e != entries_.end() && !e->second.folder;
  }
  bool IsFolder(const TName& n) const {
    if (n.root) return roots_.count(n.key) != 0;
    auto e = entries_.find(n.key);
    return e != entries_.end() && e->second.folder;
  }
  bool ParentExists(const TName& n) const {
    if (roots_.count(n.parentKey)) return true;
    auto e = entries_.find(n.parentKey);
    return e != entries_.end() && e->second.folder;
  }
  void MakeFolders(const TName& n) {
    const std::string root = n.display.substr(0, RootLength(n.display));
    roots_.emplace(sjis::UpperAscii(root), root);
    std::string path = root;
    const std::vector<std::string> parts = sjis::SplitPath(n.display.substr(root.size()));
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
      path += "\\" + parts[i];
      const TName f = MustResolve(path);
      if (!entries_.count(f.key)) entries_[f.key] = {f.display, f.parentKey, true, nullptr};
    }
  }

  // Counts an operation; false when it is the one chosen to fail.
  bool Step(bool fallible, const std::string& what) {
    const long op = ops_++;
    if (Adversary) Adversary(*this, op);
    if (crashAt_ >= 0 && op >= crashAt_) throw TCrash();
    log_.push_back(what);
    if (!fallible) return true;
    ++fallible_;
    return failAt_.count(op) == 0;
  }
  // An operation on a path: counted, logged and recorded resolved; fallibleOk_ tells whether it
  // is the one chosen to fail.
  std::optional<TName> Operate(bool fallible, const std::string& what, const std::string& path) {
    fallibleOk_ = Step(fallible, what);
    return Name(path);
  }
  std::optional<TName> Name(const std::string& path) {
    const std::optional<TName> n = Resolve(path);
    named_.push_back(n ? n->key : "(invalid " + path + ")");
    return n;
  }

  std::map<std::string, TEntry> entries_;
  std::map<std::string, std::string> roots_;  // folded root -> its spelling
  std::set<std::string> held_;
  std::vector<std::shared_ptr<Node>> open_;
  long ops_ = 0;
  long fallible_ = 0;
  long crashAt_ = -1;
  bool fallibleOk_ = true;
  std::set<long> failAt_;
  std::vector<std::string> log_;
  std::vector<std::string> named_;
};

}  // namespace crash_model
