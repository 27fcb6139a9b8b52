// make-setup: checks the inputs, packs and verifies the containers into temporary files, rewrites
// the stub's resource section with the containers streamed into it and puts the result in place
// in one rename.
#include "tools/make_setup.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "base/sha256.h"
#include "payload/sums.h"
#include "tools/cli_files.h"
#include "tools/pe_image.h"
#include "tools/version_resource.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace make_setup {

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;
using cli::Failure;

// A path given on the command line. On Windows it arrives in the ANSI code page (Shift-JIS for
// Japanese folders), which std::filesystem does not assume, so it goes through UTF-16.
fs::path PathOf(const std::string& text) {
#ifdef _WIN32
  const int count = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), count);
  return fs::path(wide);
#else
  return fs::path(text);
#endif
}

// The size of an input, which must be an existing regular file.
uint64_t InputSize(const std::string& name) {
  const fs::path path = PathOf(name);
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!fs::exists(status)) throw Failure(name + ": no such file");
  if (!fs::is_regular_file(status)) throw Failure(name + ": not a file");
  const uintmax_t size = fs::file_size(path, error);
  if (error) throw Failure(name + ": cannot read: " + error.message());
  return size;
}

// The stub is read whole: the package's SETUP.exe is well under a megabyte.
Bytes ReadStub(const std::string& name) {
  const uint64_t size = InputSize(name);
  std::ifstream in(PathOf(name), std::ios::binary);
  if (!in) throw Failure(name + ": cannot open");
  Bytes bytes(static_cast<size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (static_cast<uint64_t>(in.gcount()) != size || in.peek() != std::char_traits<char>::eof())
    throw Failure(name + ": read error (file changed while read)");
  return bytes;
}

// The first bytes of a file, at most count.
Bytes Head(const std::string& name, size_t count) {
  cli::Input in(name);
  Bytes head(count);
  head.resize(in.Read(head.data(), head.size()));
  return head;
}

// Two files that the updater can install: a 0-byte VELDRAN.EXE, the archive installed as the
// program (the options swapped) or one file as both would each leave a game that cannot start.
void CheckFiles(const Options& o, uint64_t exe, uint64_t dat2) {
  const char* const kExe = "--exe expects the new game executable, a Windows program";
  if (exe == 0) throw Failure(o.exe + ": is empty; " + kExe);
  if (dat2 == 0) throw Failure(o.dat2 + ": is empty; --dat2 expects the new data archive");
  if (cli::SameFile(o.exe, o.dat2))
    throw Failure(o.dat2 + ": is the --exe file too; --dat2 expects the new data archive, another file");
  try {
    pe::ReadHeaders(Head(o.exe, 64 * 1024), exe);
  } catch (const pe::FormatError& e) {
    throw Failure(o.exe + ": " + e.what() + "; " + kExe);
  }
}

// make-setup's mark on every updater it writes: its name in the reserved words of the DOS header
// (e_res2, which linkers leave zero and loaders never read), so that it replaces only its own.
constexpr size_t kMarkAt = 0x28;
constexpr char kMark[20] = "packres make-setup";

// An existing output is replaced only when make-setup made it, never SETUP.exe or any other
// file that has the name.
void CheckOutputIsOurs(const std::string& name) {
  std::error_code error;
  const fs::file_status status = fs::status(PathOf(name), error);
  if (!fs::exists(status)) return;
  const Bytes head = fs::is_regular_file(status) ? Head(name, 64) : Bytes();
  if (head.size() < 64 || head[0] != 'M' || head[1] != 'Z' || std::memcmp(&head[kMarkAt], kMark, sizeof kMark) != 0)
    throw Failure(name + ": exists and was not made by make-setup; remove it or choose another output");
}

void CheckLimit(const Options& o, uint64_t exe, uint64_t dat2) {
  if (exe + dat2 > kMaxPayloads)
    throw Failure(o.exe + " and " + o.dat2 + ": " + cli::Grouped(exe + dat2) + " bytes together, over the " +
                  cli::Grouped(kMaxPayloads) + " bytes (1 GiB) an updater can carry");
}

std::vector<pe::Resource*> Payload(pe::Image& image, const char* name) {
  std::vector<pe::Resource*> found = image.Find(pe::ResourceId::Number(pe::kRtRcdata), pe::ResourceId::Name(name));
  if (found.empty()) throw pe::FormatError(std::string("carries no \"") + name + "\" resource (not an updater)");
  return found;
}

// The resource's bytes come from a container file when the image is written.
void StreamFrom(pe::Resource& r, const std::string& path, uint64_t size) {
  r.data.clear();
  r.streamedSize = size;
  r.stream = [path](pe::Sink& sink) {
    cli::Input in(path);
    Bytes chunk(1 << 20);
    while (const size_t n = in.Read(chunk.data(), chunk.size())) sink.Write(chunk.data(), n);
  };
}

class OutputSink : public pe::Sink {
 public:
  explicit OutputSink(cli::Output& out) : out_(out) {}
  void Write(const uint8_t* bytes, size_t count) override {
    out_.Write(bytes, count);
    written_ += count;
  }
  void Patch(uint64_t offset, const uint8_t* bytes, size_t count) override { out_.WriteAt(offset, bytes, count); }
  uint64_t Written() const { return written_; }

 private:
  cli::Output& out_;
  uint64_t written_ = 0;
};

}  // namespace

Options ParseArguments(const std::vector<std::string>& args) {
  Options o;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string* value = args[i] == "--exe" ? &o.exe : args[i] == "--dat2" ? &o.dat2 : args[i] == "--version" ? &o.version : nullptr;
    if (!value) {
      if (args[i].rfind("--", 0) == 0) throw std::invalid_argument("make-setup: unknown option " + args[i]);
      positional.push_back(args[i]);
    } else if (i + 1 == args.size() || !value->empty()) {
      throw std::invalid_argument("make-setup: " + args[i] + " needs one value");
    } else {
      *value = args[++i];
    }
  }
  if (positional.size() != 2 || o.exe.empty() || o.dat2.empty())
    throw std::invalid_argument("make-setup: usage: packres make-setup STUB.exe OUT.exe --exe FILE --dat2 FILE [--version X.Y.Z]");
  o.stub = positional[0];
  o.out = positional[1];
  if (!o.version.empty()) pe::Version::Parse(o.version);
  return o;
}

int MakeSetup(const std::vector<std::string>& args) {
  const Options o = ParseArguments(args);
  // By identity, not by name: a link or another spelling of the stub or a file is that file.
  if (cli::SameFile(o.out, o.stub)) throw Failure(o.out + ": is the stub itself; choose another output");
  // Writing over a replacement file would lose it: a publisher may well name both VELDRAN.EXE.
  for (const std::string* input : {&o.exe, &o.dat2})
    if (cli::SameFile(o.out, *input)) throw Failure(o.out + ": is an input file (" + *input + "); choose another output");
  const uint64_t exeSize = InputSize(o.exe), dat2Size = InputSize(o.dat2);
  CheckLimit(o, exeSize, dat2Size);
  CheckFiles(o, exeSize, dat2Size);

  try {
    Bytes stub = ReadStub(o.stub);
    pe::ReadHeaders(stub);  // so that the mark goes into a DOS header
    std::memcpy(&stub[kMarkAt], kMark, sizeof kMark);
    pe::Image image = pe::Image::Parse(std::move(stub));
    std::vector<pe::Resource*> exeSlots = Payload(image, "EXE");
    std::vector<pe::Resource*> dat2Slots = Payload(image, "DAT2");
    std::vector<pe::Resource*> versions;
    for (pe::Resource& r : image.Resources())
      if (r.type.Matches(pe::ResourceId::Number(pe::kRtVersion))) versions.push_back(&r);
    if (!o.version.empty() && versions.empty()) throw pe::FormatError("carries no version resource");
    if (!o.version.empty())
      for (pe::Resource* r : versions) r->data = pe::SetVersion(r->data, pe::Version::Parse(o.version));
    CheckOutputIsOurs(o.out);

    // The containers wait in temporary files beside the output, removed whatever happens.
    cli::Output exeContainer(o.out), dat2Container(o.out);
    const cli::PackedFile exe = cli::PackFile(o.exe, exeContainer, "EXE");
    const cli::PackedFile dat2 = cli::PackFile(o.dat2, dat2Container, "DAT2");
    CheckLimit(o, exe.decoded, dat2.decoded);  // as packed, should a file have grown meanwhile
    for (pe::Resource* r : exeSlots) StreamFrom(*r, exeContainer.Written(), exe.container);
    for (pe::Resource* r : dat2Slots) StreamFrom(*r, dat2Container.Written(), dat2.container);

    // Without its digests the updater could never install: a stub that lacks them gets them.
    const Bytes digests = sums::Format({{"EXE", exe.digest}, {"DAT2", dat2.digest}});
    std::vector<pe::Resource*> sums = image.Find(pe::ResourceId::Number(pe::kRtRcdata), pe::ResourceId::Name(sums::kResourceName));
    if (sums.empty()) {
      pe::Resource added;
      added.type = pe::ResourceId::Number(pe::kRtRcdata);
      added.name = pe::ResourceId::Name(sums::kResourceName);
      added.language = exeSlots.front()->language;
      added.codePage = exeSlots.front()->codePage;
      image.Resources().push_back(added);  // the slots above are not used after this
      sums = image.Find(pe::ResourceId::Number(pe::kRtRcdata), pe::ResourceId::Name(sums::kResourceName));
    }
    for (pe::Resource* r : sums) r->data = digests;

    cli::Output out(o.out);
    OutputSink sink(out);
    image.Write(sink);
    out.Commit();
    std::printf("%s: %llu bytes, EXE %llu and DAT2 %llu bytes packed\n", o.out.c_str(),
                static_cast<unsigned long long>(sink.Written()), static_cast<unsigned long long>(exe.decoded),
                static_cast<unsigned long long>(dat2.decoded));
  } catch (const pe::FormatError& e) {
    throw Failure(o.stub + ": " + e.what());
  }
  return 0;
}

}  // namespace make_setup
