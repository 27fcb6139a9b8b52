// An in-memory file system that models what survives a crash, names files as Win32 does, and
// holds files as Win32 handles do, for the install sequence's tests.
//
// Names: letter case is folded, "/" is taken for "\", empty parts (doubled separators) and "."
// drop out, ".." goes up (never above a root), trailing dots and spaces of the last part go, a
// last part that is a device name (CON, NUL, COM1, ...) names a device, and a relative or
// drive-relative path is taken from CurrentFolder; "\\?\" and "\\.\" before a drive name the
// drive's paths. Folders are entries of their own. A link (PutLink: a symbolic link to a file or
// folder, or a mount point) is an entry that names another path: followed on the way to the
// folder that OpenFolder fixes, never by the operations in it, which see it as Foreign.
//
// Handles: a file the program opens or creates is held, shared for reading only. A second
// open of a held file, under any of its names, is refused (Busy), and so is replacing a held
// file by a move; the adversary's writes, moves, links and deletions of a held file are refused
// as Windows refuses another process's. A handle follows its file through renames.
//
// Every operation is counted. CrashAt(n) makes operation n and every later one throw TCrash
// without effect (the machine is gone); Survivor() is then what the disk holds at the next
// start: every completed create, move, link and delete (the backend asks for write-through), and
// for each file its flushed data; its unflushed data survives too, or is lost, as chosen.
// FailAt(n) makes operation n fail once the way the platform reports it, and nothing else.
// The witness's two operations are counted with the rest.
// Adversary, when set, runs before every operation and may remove, lock, create, rewrite, link
// or move anything the sharing lets it, as a virus scanner, the running game or another program
// of the player's may between any two steps.
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
#include "payload/journal.h"

namespace crash_model {

struct TCrash {};

// The file system and the journal's witness (the registry value), which a crash leaves as last
// stored: the backend flushes it.
class TCrashFs : public TFileOps, public TJournalWitness {
 public:
  // Where relative paths are taken from: the process's current folder.
  std::string CurrentFolder = "C:\\app\\";
  bool LinksSupported = true;
  std::function<void(TCrashFs&, long op)> Adversary;

  void CrashAt(long op) { crashAt_ = op; }
  void FailAt(long op) { failAt_.insert(op); }
  // One line per operation so far: its name and names, as given.
  const std::vector<std::string>& Log() const { return log_; }
  // Every name an operation other than List was given, as its Key.
  const std::vector<std::string>& Named() const { return named_; }
  long Ops() const { return ops_; }
  // Operations that can report a failure, so far.
  long FallibleOps() const { return fallible_; }

  // Setting up, looking and the adversary's moves, outside the counted operations. Put,
  // PutFolder and PutLink make any folder above that is missing. A move that the program's
  // handles refuse returns false and changes nothing.
  bool Put(const std::string& path, const std::string& data) {
    const TName n = MustResolve(path);
    if (n.root) throw std::invalid_argument("a root is no file: " + path);
    if (HeldAt(n.key)) return false;
    MakeFolders(n);
    auto node = NewNode();
    node->data = node->durable = data;
    entries_[n.key] = {n.display, n.parentKey, false, node, ""};
    return true;
  }
  void PutFolder(const std::string& path) {
    const TName n = MustResolve(path);
    MakeFolders(n);
    if (!n.root) entries_[n.key] = {n.display, n.parentKey, true, nullptr, ""};
  }
  // A symbolic link (or a mount point, for a folder) at path, leading to target (absolute).
  bool PutLink(const std::string& path, const std::string& target) {
    const TName n = MustResolve(path, false);
    if (HeldAt(n.key)) return false;
    MakeFolders(n);
    entries_[n.key] = {n.display, n.parentKey, false, nullptr, target};
    return true;
  }
  // A second name at path for the file at existing.
  bool HardLink(const std::string& existing, const std::string& path) {
    const TName e = MustResolve(existing), n = MustResolve(path, false);
    if (!IsFile(e.key) || entries_.count(n.key) || HeldAt(e.key)) return false;
    MakeFolders(n);
    entries_[n.key] = {n.display, n.parentKey, false, entries_[e.key].node, ""};
    return true;
  }
  // Writes data over the file at path in place, under every name it has.
  bool Rewrite(const std::string& path, const std::string& data) {
    const TName n = MustResolve(path);
    if (!IsFile(n.key) || HeldAt(n.key) || held_.count(n.key)) return false;
    entries_[n.key].node->data = entries_[n.key].node->durable = data;
    return true;
  }
  // True where both paths are names of one file.
  bool SameFile(const std::string& a, const std::string& b) const {
    const std::optional<TName> x = Resolve(a), y = Resolve(b);
    return x && y && IsFile(x->key) && IsFile(y->key) && entries_.at(x->key).node == entries_.at(y->key).node;
  }
  // Renames from over to, replacing what is there, as another program may.
  bool MoveOver(const std::string& from, const std::string& to) {
    const TName f = MustResolve(from, false), t = MustResolve(to, false);
    if (!entries_.count(f.key) || HeldAt(f.key) || HeldAt(t.key) || IsFolder(t)) return false;
    TEntry moved = entries_[f.key];
    entries_.erase(f.key);
    moved.display = t.display;
    moved.parentKey = t.parentKey;
    entries_[t.key] = moved;
    return true;
  }
  bool Remove(const std::string& path) {
    const std::optional<TName> n = Resolve(path, false);
    if (!n || !entries_.count(n->key) || entries_[n->key].folder || HeldAt(n->key)) return false;
    entries_.erase(n->key);
    return true;
  }
  // A locked file can be neither replaced nor deleted nor held (read-only, or held open
  // elsewhere without sharing); one the program holds cannot be locked.
  bool Lock(const std::string& path) {
    const TName n = MustResolve(path);
    if (HeldAt(n.key)) return false;
    held_.insert(n.key);
    return true;
  }
  void UnlockAll() { held_.clear(); }
  bool Has(const std::string& path) const {
    const std::optional<TName> n = Resolve(path);
    return n && IsFile(n->key);
  }
  bool HasFolder(const std::string& path) const {
    const std::optional<TName> n = Resolve(path);
    return n && IsFolder(*n);
  }
  // The link at path, or "" where there is none.
  std::string LinkAt(const std::string& path) const {
    const std::optional<TName> n = Resolve(path, false);
    auto e = n ? entries_.find(n->key) : entries_.end();
    return e != entries_.end() ? e->second.link : std::string();
  }
  std::string Content(const std::string& path) const { return entries_.at(MustResolve(path).key).node->data; }
  // Every file, spelled as it was created, in the order of the names as the platform compares them.
  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (const auto& [key, e] : entries_)
      if (e.node) paths.push_back(e.display);
    return paths;
  }
  // Every entry with what it holds, for telling whether anything changed: "KEY=data" for files,
  // "KEY/" for folders, "KEY->target" for links.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> all;
    for (const auto& [key, e] : entries_) all[key] = e.node ? "=" + e.node->data : e.folder ? "/" : "->" + e.link;
    return all;
  }
  // What every spelling of path folds to: the same key for the same file, folder or link.
  std::string Key(const std::string& path) const {
    const std::optional<TName> n = Resolve(path, false);
    return n ? n->key : "(invalid " + path + ")";
  }

  // The disk after a crash now; hard links stay shared, handles, locks and the adversary are gone.
  TCrashFs Survivor(bool unflushedSurvives) const {
    TCrashFs next;
    next.CurrentFolder = CurrentFolder;
    next.LinksSupported = LinksSupported;
    next.roots_ = roots_;
    next.nextId_ = nextId_;
    next.Witness = Witness;
    std::map<const Node*, std::shared_ptr<Node>> copies;
    for (const auto& [key, e] : entries_) {
      TEntry copy = e;
      if (e.node) {
        std::shared_ptr<Node>& node = copies[e.node.get()];
        if (!node) {
          node = std::make_shared<Node>();
          node->id = e.node->id;
          node->data = node->durable = unflushedSurvives ? e.node->data : e.node->durable;
        }
        copy.node = node;
      }
      next.entries_[key] = copy;
    }
    return next;
  }

  // What the witness keeps; the tests may set it, as another release of the program would have.
  std::vector<std::string> Witness;

  // ---- The program's operations -----------------------------------------------------------

  std::vector<std::string> Load() override {
    Step(false, "WitnessLoad");
    return Witness;
  }
  bool Store(const std::vector<std::string>& digests) override {
    if (!Step(true, "WitnessStore")) return false;
    Witness = digests;
    return true;
  }

  bool OpenFolder(const std::string& folder) override {
    if (!Step(true, "OpenFolder " + folder)) {
      prefix_ = Prefixed(FullPath(folder));
      return false;
    }
    if (!folderKey_.empty() && folder == opened_) return true;
    prefix_ = Prefixed(FullPath(folder));
    folderKey_.clear();
    const std::optional<TName> n = Resolve(Unprefixed(prefix_));
    if (folder.empty() || !n || !IsFolder(*n)) return false;
    opened_ = folder;
    folderKey_ = n->key;
    return true;
  }
  std::string Prefix() override { return prefix_; }
  std::string FinalFolder() override { return folderKey_; }
  std::vector<std::string> List() override {
    Step(false, "List");
    std::vector<std::string> found;
    for (const auto& [key, e] : entries_)
      if (e.parentKey == folderKey_) found.push_back(e.display.substr(e.display.size() - NameLength(e.display)));
    return found;
  }
  TKind Open(const std::string& name, Handle* file) override {
    *file = kNoHandle;
    const bool ok = Step(true, "Open " + name);
    const std::string key = At(name);
    auto e = entries_.find(key);
    if (!ok) return TKind::Busy;
    if (e == entries_.end()) return TKind::Absent;
    if (e->second.folder) return TKind::Folder;
    if (!e->second.node) return TKind::Foreign;
    if (held_.count(key) || holders_[e->second.node.get()] > 0) return TKind::Busy;
    *file = Hold(e->second.node, key);
    return TKind::File;
  }
  Handle Create(const std::string& name) override {
    const bool ok = Step(true, "Create " + name);
    const std::string key = At(name);
    if (!ok || folderKey_.empty() || entries_.count(key)) return kNoHandle;
    auto node = NewNode();
    entries_[key] = {FolderDisplay() + "\\" + name, folderKey_, false, node, ""};
    return Hold(node, key);
  }
  size_t Write(Handle file, const void* data, size_t count) override {
    if (!Step(true, "Write")) return 0;
    Held(file).node->data.append(static_cast<const char*>(data), count);
    return count;
  }
  bool Flush(Handle file) override {
    if (!Step(true, "Flush")) return false;
    Held(file).node->durable = Held(file).node->data;
    return true;
  }
  void Close(Handle file) override {
    THandle& h = Held(file);
    --holders_[h.node.get()];
    handles_[file].reset();
  }
  bool Size(Handle file, uint64_t* size) override {
    Step(false, "Size " + Held(file).key);
    *size = Held(file).node->data.size();
    return true;
  }
  bool Read(Handle file, size_t limit, std::string* content) override {
    if (!Step(true, "Read " + Held(file).key) || Held(file).node->data.size() > limit) return false;
    *content = Held(file).node->data;
    return true;
  }
  bool Hash(Handle file, TSha256::Digest* digest) override {
    if (!Step(true, "Hash " + Held(file).key)) return false;
    const std::string& data = Held(file).node->data;
    *digest = TSha256::Of(data.data(), data.size());
    return true;
  }
  int Names(Handle file) override {
    int n = 0;
    for (const auto& [key, e] : entries_) n += e.node == Held(file).node;
    return n;
  }
  std::string Identity(Handle file) override { return std::to_string(Held(file).node->id); }
  bool CopyTo(Handle from, Handle to) override {
    if (!Step(true, "CopyTo " + Held(from).key + " " + Held(to).key)) return false;
    Held(to).node->data += Held(from).node->data;
    Held(to).node->durable = Held(to).node->data;
    return true;
  }
  bool Rename(Handle file, const std::string& name) override {
    THandle& h = Held(file);
    const std::string to = At(name);
    if (!Step(true, "Rename " + h.key + " " + to)) return false;
    auto source = entries_.find(h.key);
    if (source == entries_.end() || source->second.node != h.node) return false;
    auto target = entries_.find(to);
    if (target != entries_.end() && to != h.key &&
        (target->second.folder || held_.count(to) || (target->second.node && holders_[target->second.node.get()] > 0)))
      return false;
    TEntry moved = source->second;
    entries_.erase(source);
    moved.display = FolderDisplay() + "\\" + name;
    entries_[to] = moved;
    h.key = to;
    return true;
  }
  bool Link(Handle file, const std::string& name) override {
    const std::string key = At(name);
    if (!Step(true, "Link " + Held(file).key + " " + key) || !LinksSupported || entries_.count(key)) return false;
    entries_[key] = {FolderDisplay() + "\\" + name, folderKey_, false, Held(file).node, ""};
    return true;
  }
  bool Delete(Handle file) override {
    const THandle h = Held(file);
    const bool ok = Step(true, "Delete " + h.key);
    Close(file);
    auto e = entries_.find(h.key);
    if (!ok || e == entries_.end() || e->second.node != h.node || held_.count(h.key)) return false;
    entries_.erase(e);
    return true;
  }

 private:
  struct Node {
    long id = 0;
    std::string data;     // what a reader sees now
    std::string durable;  // what a crash is sure to leave
  };
  struct TEntry {
    std::string display;    // the path as created, folders spelled as they were made
    std::string parentKey;  // the folder it is in
    bool folder = false;
    std::shared_ptr<Node> node;  // files only; shared by hard links
    std::string link;            // links only: the path it leads to
  };
  struct THandle {
    std::shared_ptr<Node> node;
    std::string key;  // the name it holds the file by
  };
  // A path resolved: key is the spelling every spelling of it folds to.
  struct TName {
    std::string key, parentKey, display;
    bool root = false, device = false;
  };

  std::shared_ptr<Node> NewNode() {
    auto node = std::make_shared<Node>();
    node->id = ++nextId_;
    return node;
  }
  Handle Hold(const std::shared_ptr<Node>& node, const std::string& key) {
    ++holders_[node.get()];
    handles_.push_back(THandle{node, key});
    return static_cast<Handle>(handles_.size() - 1);
  }
  THandle& Held(Handle file) {
    if (file < 0 || static_cast<size_t>(file) >= handles_.size() || !handles_[file])
      throw std::logic_error("no such handle");
    return *handles_[file];
  }
  // True where the entry at key is a file the program holds.
  bool HeldAt(const std::string& key) {
    auto e = entries_.find(key);
    return e != entries_.end() && e->second.node && holders_[e->second.node.get()] > 0;
  }
  // The folder fixed, spelled as it was made.
  std::string FolderDisplay() const {
    auto e = entries_.find(folderKey_);
    if (e != entries_.end()) return e->second.display;
    auto r = roots_.find(folderKey_);
    return r != roots_.end() ? r->second : folderKey_;
  }
  // The key of a bare name in the folder fixed, recorded.
  std::string At(const std::string& name) {
    if (name.find_first_of("\\/:") != std::string::npos) throw std::logic_error("not a bare name: " + name);
    const std::string key = folderKey_ + "\\" + sjis::UpperAscii(name);
    named_.push_back(key);
    return key;
  }

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
  static std::string Prefixed(const std::string& full) {
    const std::string_view last = sjis::LastChar(full);
    return last.empty() || last == "\\" ? full : full + "\\";
  }
  // "\\?\" and "\\.\" before a drive: the drive's path.
  static std::string Unprefixed(const std::string& path) {
    if ((path.compare(0, 4, "\\\\?\\") == 0 || path.compare(0, 4, "\\\\.\\") == 0) && path.size() >= 6 &&
        path[5] == ':')
      return path.substr(4);
    return path;
  }

  // What GetFullPathName makes of a path: absolute, from the current folder, "." and ".."
  // resolved, separators one "\"; "\\?\" and "\\.\" paths as they are.
  std::string FullPath(std::string path) const {
    if (path.compare(0, 4, "\\\\?\\") == 0 || path.compare(0, 4, "\\\\.\\") == 0) return path;
    for (char& c : path)
      if (c == '/') c = '\\';  // never a trail byte: those start at 0x40
    std::string root, rest = path;
    const bool letter = path.size() >= 2 && path[1] == ':';
    if (path.compare(0, 2, "\\\\") == 0) {
      const std::vector<std::string> p = sjis::SplitPath(path);
      if (p.size() < 2) return path;
      root = "\\\\" + p[0] + "\\" + p[1];
      rest.clear();
      for (size_t i = 2; i < p.size(); ++i) rest += "\\" + p[i];
    } else if (letter && path.size() >= 3 && path[2] == '\\') {
      root = path.substr(0, 2);
      rest = path.substr(2);
    } else if (letter) {
      root = path.substr(0, 2);
      rest = (sjis::UpperAscii(CurrentFolder.substr(0, 2)) == sjis::UpperAscii(root) ? CurrentFolder.substr(2) : "\\") +
             "\\" + path.substr(2);
    } else if (path.compare(0, 1, "\\") == 0) {
      root = CurrentFolder.substr(0, 2);
    } else {
      root = CurrentFolder.substr(0, 2);
      rest = CurrentFolder.substr(2) + "\\" + path;
    }
    std::vector<std::string> resolved;
    for (const std::string& p : sjis::SplitPath(rest)) {
      if (p == ".") continue;
      if (p == "..") {
        if (!resolved.empty()) resolved.pop_back();
        continue;
      }
      resolved.push_back(p);
    }
    std::string full = root;
    for (const std::string& p : resolved) full += "\\" + p;
    return resolved.empty() ? full + "\\" : full;
  }

  // CurrentFolder must be absolute: a relative path is resolved from it. Links on the way are
  // followed; the last part's too unless followLast is false.
  std::optional<TName> Resolve(std::string path, bool followLast = true, int depth = 0) const {
    if (depth > 8) return std::nullopt;  // a loop of links names nothing
    path = Unprefixed(path);
    for (char& c : path)
      if (c == '/') c = '\\';
    std::string root;
    std::vector<std::string> parts;
    auto from = [&](const std::string& base) {
      const std::optional<TName> b = Resolve(base, true, depth + 1);
      if (!b) return false;
      root = b->key.substr(0, RootLength(b->key));
      parts = sjis::SplitPath(b->display.substr(RootLength(b->display)));
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
    for (size_t i = 0; i < resolved.size(); ++i) {
      n.parentKey = n.key;
      n.key += "\\" + sjis::UpperAscii(resolved[i]);
      auto e = entries_.find(n.key);
      if (e != entries_.end() && !e->second.link.empty() && (followLast || i + 1 < resolved.size())) {
        std::string target = e->second.link;
        for (size_t j = i + 1; j < resolved.size(); ++j) target += "\\" + resolved[j];
        return Resolve(target, followLast, depth + 1);
      }
      n.display = e != entries_.end() ? e->second.display : n.display + "\\" + resolved[i];
    }
    return n;
  }
  // A path that names a file or folder the model can hold: no device.
  TName MustResolve(const std::string& path, bool followLast = true) const {
    const std::optional<TName> n = Resolve(path, followLast);
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
    return e != entries_.end() && e->second.node;
  }
  bool IsFolder(const TName& n) const {
    if (n.root) return roots_.count(n.key) != 0;
    auto e = entries_.find(n.key);
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
      if (!entries_.count(f.key)) entries_[f.key] = {f.display, f.parentKey, true, nullptr, ""};
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

  std::map<std::string, TEntry> entries_;
  std::map<std::string, std::string> roots_;  // folded root -> its spelling
  std::set<std::string> held_;
  std::vector<std::optional<THandle>> handles_;
  std::map<const Node*, int> holders_;
  std::string opened_, prefix_, folderKey_;
  long nextId_ = 0;
  long ops_ = 0;
  long fallible_ = 0;
  long crashAt_ = -1;
  std::set<long> failAt_;
  std::vector<std::string> log_;
  std::vector<std::string> named_;
};

}  // namespace crash_model
