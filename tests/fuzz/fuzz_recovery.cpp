// Hostile journals and folders into the update's recovery, over the crash-modelling file system:
// whatever a journal says (vouched for by the witness, or not) and whatever else the folder
// holds (files, folders, links out of it, second names of a file outside it), recovery may touch
// nothing but the update's own names in the game folder (the one it leads to, where it is a
// link), changes nothing outside it, and changes nothing at all where the witness vouches for no
// journal there.
//
// Input: one byte choosing the folder's spelling, one byte of options, then the journal's text
// up to the first NUL, then NUL-separated entries made beforehand ("f", "d", "l" or "h" and a
// name relative to the game folder: a file, a folder, a link to the outside file, or a second
// name of it; a name may lie anywhere).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/sha256.h"
#include "payload/install.h"
#include "payload/sums.h"
#include "tests/payload/crash_fs.h"
#include "tests/payload/update_names.h"
#include "windows/update_files.h"

namespace {

const std::string kDir = "G:\\Game\\";
const std::string kOutside = "G:\\outside.txt";
const char* const kSpellings[] = {"G:\\Game\\", "g:/game", "G:\\\\Game", "G:\\Saves\\..\\Game\\", "",
                                  "Game\\",     "G:Game",  "\\Game\\",   "\\\\?\\G:\\Game\\",      "G:\\Link"};
const std::string kNewExe = "the new executable";
const std::string kNewDat2 = "the new archive";

class TSource : public TPayloadSource {
 public:
  explicit TSource(bool sums) : sums_(sums) {}
  std::unique_ptr<TStream> Open(const std::string& name) override { throw EResNotFound(name); }
  std::vector<uint8_t> Sums() override {
    if (!sums_) throw EResNotFound("SUMS");
    return sums::Format({{"EXE", TSha256::Of(kNewExe.data(), kNewExe.size())},
                         {"DAT2", TSha256::Of(kNewDat2.data(), kNewDat2.size())}});
  }

 private:
  bool sums_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::string folder = kSpellings[data[0] % (sizeof kSpellings / sizeof kSpellings[0])];
  const uint8_t options = data[1];
  const std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
  const size_t end = rest.find('\0');
  const std::string journal = rest.substr(0, end);

  crash_model::TCrashFs fs;
  fs.CurrentFolder = "G:\\";  // so that a relative folder names the game's, the worst case
  fs.LinksSupported = options & 2;
  fs.Put(kDir + "VELDRAN.EXE", options & 4 ? kNewExe : "the previous executable");
  fs.Put(kDir + "mg_data2.mbl", options & 8 ? kNewDat2 : "the previous archive");
  fs.Put(kDir + "mg_data.mbl", "marker");
  fs.Put(kOutside, "someone's file");
  fs.PutLink("G:\\Link", "G:\\Game");
  fs.Put(kDir + journal::kName, journal);
  const bool vouched = options & 1;
  if (vouched) fs.Witness = {journal::StateDigest(fs.Key(kDir), journal)};
  for (size_t at = end; at != std::string::npos && at < rest.size();) {
    const size_t next = rest.find('\0', at + 1);
    const std::string entry = rest.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
    at = next;
    if (entry.size() < 2) continue;
    try {
      const std::string path = kDir + entry.substr(1);
      if (entry[0] == 'd') fs.PutFolder(path);
      else if (entry[0] == 'l') fs.PutLink(path, kOutside);
      else if (entry[0] == 'h') fs.HardLink(kOutside, path);
      else fs.Put(path, entry.substr(1));
    } catch (const std::invalid_argument&) {
      // a name the model cannot place: not made
    }
  }

  const auto before = fs.Snapshot();
  TSource source(options & 16);
  try {
    RecoverUpdate(fs, source, fs, folder, kUpdateFiles);
  } catch (const Exception&) {
    // A recovery that cannot finish says so; what it touched is still checked.
  }
  // The entries may have made the game folder itself a link: the folder is the one it leads to,
  // where the journal was vouched for only if that is the folder it was vouched for.
  const std::string folderKey = fs.FinalFolder().empty() ? fs.Key(kDir) : fs.FinalFolder();
  const bool believed = vouched && folderKey == fs.Key(kDir);
  const std::string outside = crash_model::TouchedOutside(fs, folderKey);
  const std::string changed = crash_model::ChangedOutside(before, fs.Snapshot(), folderKey);
  if (!outside.empty() || !changed.empty() || (!believed && fs.Snapshot() != before)) {
    std::fprintf(stderr, "recovery in \"%s\" %s %s\n", folder.c_str(),
                 !outside.empty() ? "touched" : !changed.empty() ? "changed" : "acted on an unvouched journal:",
                 !outside.empty() ? outside.c_str() : changed.c_str());
    std::abort();
  }
  return 0;
}
