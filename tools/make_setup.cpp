// make-setup: reads the stub and the two files, packs and verifies the containers, rewrites the
// stub's resource section and puts the result in place in one rename.
#include "tools/make_setup.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "base/failure.h"
#include "base/sha256.h"
#include "payload/pack.h"
#include "payload/sums.h"
#include "payload/unpack.h"
#include "tools/pe_image.h"
#include "tools/version_resource.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace make_setup {

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

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

Bytes ReadInput(const std::string& name) {
  const fs::path path = PathOf(name);
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!fs::exists(status)) throw Failure(name + ": no such file");
  if (!fs::is_regular_file(status)) throw Failure(name + ": not a file");
  const uintmax_t size = fs::file_size(path, error);
  if (error) throw Failure(name + ": cannot read: " + error.message());
  if (size > kMaxFileSize) throw Failure(name + ": larger than the 2 GiB a container can hold");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure(name + ": cannot open: " + std::strerror(errno));
  Bytes bytes(static_cast<size_t>(size));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (static_cast<uintmax_t>(in.gcount()) != size || in.peek() != std::char_traits<char>::eof())
    throw Failure(name + ": read error (file changed while read)");
  return bytes;
}

// A container of data, proven to decode back to it.
Bytes PackVerified(const std::string& name, const Bytes& data) {
  Bytes container;
  try {
    container = packed::Pack(data);
  } catch (const std::length_error&) {
    throw Failure(name + ": too large to pack");
  }
  TMemoryStream source(container), decoded;
  try {
    UnpackResource(source, decoded);
  } catch (const Exception&) {
    decoded.Bytes().clear();
  }
  if (decoded.Bytes() != data) throw Failure(name + ": packed container does not decode to the file");
  return container;
}

// The digest records of the two files, in install order.
Bytes Digests(const Bytes& exe, const Bytes& dat2) {
  return sums::Format({{"EXE", TSha256::Of(exe.data(), exe.size())}, {"DAT2", TSha256::Of(dat2.data(), dat2.size())}});
}

std::vector<pe::Resource*> Payload(pe::Image& image, const char* name) {
  std::vector<pe::Resource*> found = image.Find(pe::ResourceId::Number(pe::kRtRcdata), pe::ResourceId::Name(name));
  if (found.empty()) throw pe::FormatError(std::string("carries no \"") + name + "\" resource (not an updater)");
  return found;
}

void WriteOutput(const std::string& path, const Bytes& bytes) {
  std::random_device random;
  const fs::path target = PathOf(path);
  fs::path temporary = target;
  temporary += ".tmp" + std::to_string(random() % 1000000);
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) throw Failure(path + ": cannot create: " + std::strerror(errno));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      throw Failure(path + ": write error");
    }
  }
  std::error_code error;
  fs::rename(temporary, target, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw Failure(path + ": cannot replace: " + error.message());
  }
}

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

Bytes BuildUpdater(Bytes stub, const Bytes& exe, const Bytes& dat2, const std::string& version) {
  pe::Image image = pe::Image::Parse(std::move(stub));
  std::vector<pe::Resource*> exeSlots = Payload(image, "EXE");
  std::vector<pe::Resource*> dat2Slots = Payload(image, "DAT2");
  std::vector<pe::Resource*> versions;
  for (pe::Resource& r : image.Resources())
    if (r.type.Matches(pe::ResourceId::Number(pe::kRtVersion))) versions.push_back(&r);
  if (!version.empty() && versions.empty()) throw pe::FormatError("carries no version resource");

  const Bytes exeContainer = PackVerified("EXE", exe);
  const Bytes dat2Container = PackVerified("DAT2", dat2);
  for (pe::Resource* r : exeSlots) r->data = exeContainer;
  for (pe::Resource* r : dat2Slots) r->data = dat2Container;
  const std::vector<pe::Resource*> sums = image.Find(pe::ResourceId::Number(pe::kRtRcdata), pe::ResourceId::Name(sums::kResourceName));
  if (!sums.empty()) {
    const Bytes digests = Digests(exe, dat2);
    for (pe::Resource* r : sums) r->data = digests;
  }
  if (!version.empty())
    for (pe::Resource* r : versions) r->data = pe::SetVersion(r->data, pe::Version::Parse(version));
  return image.Build();
}

int MakeSetup(const std::vector<std::string>& args) {
  const Options o = ParseArguments(args);
  std::error_code error;
  if (fs::equivalent(PathOf(o.stub), PathOf(o.out), error)) throw Failure(o.out + ": is the stub itself; choose another output");
  // Writing over a replacement file would lose it: a publisher may well name both VELDRAN.EXE.
  for (const std::string* input : {&o.exe, &o.dat2})
    if (fs::equivalent(PathOf(*input), PathOf(o.out), error))
      throw Failure(o.out + ": is an input file; choose another output");
  Bytes stub = ReadInput(o.stub);
  const Bytes exe = ReadInput(o.exe);
  const Bytes dat2 = ReadInput(o.dat2);
  Bytes updater;
  try {
    updater = BuildUpdater(std::move(stub), exe, dat2, o.version);
  } catch (const pe::FormatError& e) {
    throw Failure(o.stub + ": " + e.what());
  }
  WriteOutput(o.out, updater);
  std::printf("%s: %zu bytes, EXE %zu and DAT2 %zu bytes packed\n", o.out.c_str(), updater.size(), exe.size(),
              dat2.size());
  return 0;
}

}  // namespace make_setup
