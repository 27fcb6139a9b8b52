// packres: makes, unpacks and describes PackedResource containers at build time.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/sha256.h"
#include "base/stream.h"
#include "payload/sums.h"
#include "payload/unpack.h"
#include "tools/make_setup.h"
#include "tools/packer.h"

namespace {

const char kUsage[] =
    "usage: packres pack IN OUT     pack file IN into container OUT (verified by decoding)\n"
    "       packres unpack IN OUT   decode container IN into file OUT\n"
    "       packres info IN         show a container's sizes and ratio\n"
    "       packres make-setup STUB.exe OUT.exe --exe FILE --dat2 FILE [--version X.Y.Z]\n"
    "                               make updater OUT from a built SETUP.exe with two new files\n"
    "       packres sums OUT NAME=FILE...\n"
    "                               write the digest resource OUT: the SHA-256 of each FILE\n"
    "                               under its payload NAME (1 to 8 ASCII characters), in order\n"
    "       packres --help          show this text\n";

// A failure already phrased for the command line.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure(path + ": cannot open: " + std::strerror(errno));
  try {
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw Failure(path + ": read error");
    return bytes;
  } catch (const std::ios_base::failure&) {
    // A folder opens but cannot be read.
    throw Failure(path + ": read error");
  }
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw Failure(path + ": cannot create: " + std::strerror(errno));
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw Failure(path + ": write error");
}

// Decodes a container held in memory; malformed input becomes a one-line failure.
std::vector<uint8_t> Decode(const std::string& path, std::vector<uint8_t> container) {
  TMemoryStream source(std::move(container));
  TMemoryStream decoded;
  try {
    UnpackResource(source, decoded);
  } catch (const EOutOfMemory&) {
    throw Failure(path + ": not enough memory to decode");
  } catch (const Exception&) {
    throw Failure(path + ": truncated or corrupt container");
  }
  return std::move(decoded.Bytes());
}

packed::Header CheckContainer(const std::string& path, const std::vector<uint8_t>& bytes) {
  if (bytes.size() < static_cast<size_t>(packed::kHeaderSize))
    throw Failure(path + ": not a container (shorter than its header)");
  if (std::memcmp(bytes.data(), packed::kSignature, 4) != 0) throw Failure(path + ": not a container (bad signature)");
  packed::Header h = packed::ParseHeader(bytes.data());
  if (h.packedSize < 0 || h.decodedSize < 0) throw Failure(path + ": corrupt container (negative size)");
  if (bytes.size() - packed::kHeaderSize < static_cast<size_t>(h.packedSize))
    throw Failure(path + ": truncated container (body shorter than its header says)");
  return h;
}

double Percent(size_t part, size_t whole) { return whole ? 100.0 * double(part) / double(whole) : 0.0; }

int Pack(const std::string& in, const std::string& out) {
  std::vector<uint8_t> data = ReadFile(in);
  std::vector<uint8_t> container;
  try {
    container = packed::Pack(data);
  } catch (const std::length_error&) {
    throw Failure(in + ": too large to pack");
  }
  if (Decode(out, container) != data) throw Failure(out + ": verification failed, container not written");
  WriteFile(out, container);
  std::printf("%s: %zu -> %zu bytes (%.1f%%)\n", out.c_str(), data.size(), container.size(),
              Percent(container.size(), data.size()));
  return 0;
}

int Unpack(const std::string& in, const std::string& out) {
  std::vector<uint8_t> bytes = ReadFile(in);
  packed::Header h = CheckContainer(in, bytes);
  std::vector<uint8_t> decoded = Decode(in, std::move(bytes));
  if (decoded.size() != static_cast<size_t>(h.decodedSize))
    throw Failure(in + ": corrupt container (decodes to a different size than its header says)");
  WriteFile(out, decoded);
  return 0;
}

int Info(const std::string& in) {
  std::vector<uint8_t> bytes = ReadFile(in);
  packed::Header h = CheckContainer(in, bytes);
  std::printf("%s: container %zu bytes, packed body %d bytes, decoded %d bytes, ratio %.1f%%\n", in.c_str(),
              bytes.size(), h.packedSize, h.decodedSize,
              Percent(static_cast<size_t>(h.packedSize) + packed::kHeaderSize, static_cast<size_t>(h.decodedSize)));
  return 0;
}

int Sums(const std::string& out, const std::vector<std::string>& entries) {
  std::vector<sums::Record> records;
  for (const std::string& entry : entries) {
    const size_t eq = entry.find('=');
    if (eq == std::string::npos) throw Failure(entry + ": expected NAME=FILE");
    const std::vector<uint8_t> data = ReadFile(entry.substr(eq + 1));
    records.push_back({entry.substr(0, eq), TSha256::Of(data.data(), data.size())});
  }
  std::vector<uint8_t> bytes;
  try {
    bytes = sums::Format(records);
  } catch (const std::invalid_argument& e) {
    throw Failure(e.what());
  }
  WriteFile(out, bytes);
  for (const sums::Record& r : records) std::printf("%s: %s %s\n", out.c_str(), r.Name.c_str(), TSha256::Hex(r.Digest).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (args.size() == 3 && args[0] == "pack") return Pack(args[1], args[2]);
    if (args.size() == 3 && args[0] == "unpack") return Unpack(args[1], args[2]);
    if (args.size() == 2 && args[0] == "info") return Info(args[1]);
    if (!args.empty() && args[0] == "make-setup") return make_setup::MakeSetup({args.begin() + 1, args.end()});
    if (args.size() >= 3 && args[0] == "sums") return Sums(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
  } catch (const Failure& f) {
    std::fprintf(stderr, "packres: %s\n", f.what());
    return 1;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "packres: out of memory\n");
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "packres: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "packres: bad arguments (try packres --help)\n");
  return 2;
}
