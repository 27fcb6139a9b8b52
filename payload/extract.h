// Installs one packed payload of the running program into a target file.
#pragma once

#include <string>
#include <vector>

// Decodes the RT_RCDATA resource resourceName of the running module into targetPath.
// The decoded bytes go to a new temporary file in the target's folder first; only when that
// file is complete and closed does it replace the target. On any failure the temporary file is
// deleted and the target keeps its previous content.
//   EResNotFound   no such resource (nothing is touched)
//   EFCreateError  the target cannot be created or replaced (message names targetPath)
//   EReadError     the resource is shorter than its header says, or malformed
//   EWriteError    a write did not complete
//   EOutOfMemory   no memory for the decoder's buffers
void ExtractResource(const std::string& resourceName, const std::string& targetPath);

// One payload and the file it becomes.
struct PayloadTarget {
  std::string ResourceName;
  std::string TargetPath;
};

// Installs several payloads all or nothing: each is decoded beside its target first, and only
// when every one is complete are they put in place; if one cannot be put in place, those already
// installed get their previous files back. Failures as for ExtractResource, in the order given.
void InstallPayloads(const std::vector<PayloadTarget>& payloads);

// One payload decoded into a temporary file beside its target. Install() puts it in place and
// keeps the previous file aside until release, so that Restore() can bring it back; released
// without Install(), it leaves the target as it was.
class TStagedPayload {
 public:
  TStagedPayload(const std::string& resourceName, const std::string& targetPath);
  ~TStagedPayload();
  TStagedPayload(const TStagedPayload&) = delete;
  TStagedPayload& operator=(const TStagedPayload&) = delete;

  void Install();
  void Restore();

 private:
  void Discard();

  std::string target_;
  std::string staged_;
  std::string backup_;
  bool installed_ = false;
};
