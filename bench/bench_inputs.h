// The files the benchmarks measure: the two sample payloads and a few Windows PE images of about
// 1.3 MB from the Wine packages, each packed once (on first use) by packres's encoder and by
// LZ4 HC at level 12.
#pragma once

#include <lz4.h>
#include <lz4hc.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "payload/pack.h"

namespace bench {

struct Input {
  std::string name;
  std::string path;
};

inline std::vector<Input> Inputs() {
  const std::string pe = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/";
  std::vector<Input> all = {
      {"VELDRAN.EXE", std::string(SAMPLE_DIR) + "/VELDRAN.EXE"},
      {"mg_data2.mbl", std::string(SAMPLE_DIR) + "/mg_data2.mbl"},
      {"ia2comproxy.dll", pe + "ia2comproxy.dll"},
      {"d3d8.dll", pe + "d3d8.dll"},
      {"regedit.exe", pe + "regedit.exe"},
  };
  std::vector<Input> present;
  for (const Input& i : all)
    if (std::ifstream(i.path, std::ios::binary)) present.push_back(i);
  return present;
}

struct Packed {
  std::vector<uint8_t> data;
  std::vector<uint8_t> container;  // PackedResource
  std::vector<char> lz4;           // LZ4 HC 12 block
};

inline const Packed& Get(const Input& input) {
  static std::map<std::string, Packed> cache;
  auto found = cache.find(input.path);
  if (found != cache.end()) return found->second;
  Packed p;
  std::ifstream in(input.path, std::ios::binary);
  p.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  p.container = packed::Pack(p.data);
  p.lz4.resize(static_cast<size_t>(LZ4_compressBound(static_cast<int>(p.data.size()))));
  const int n = LZ4_compress_HC(reinterpret_cast<const char*>(p.data.data()), p.lz4.data(), static_cast<int>(p.data.size()),
                                static_cast<int>(p.lz4.size()), 12);
  p.lz4.resize(static_cast<size_t>(n));
  return cache.emplace(input.path, std::move(p)).first->second;
}

}  // namespace bench
