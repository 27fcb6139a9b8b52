// Runs packres on the command line in a private folder, keeping its output and exit code.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testing_payload {

using Bytes = std::vector<uint8_t>;

class Packres : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/packres-test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  void Write(const std::string& name, const Bytes& bytes) const {
    std::ofstream(Path(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
  }
  Bytes Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  std::string Text(const std::string& name) const {
    Bytes b = Read(name);
    return std::string(b.begin(), b.end());
  }

  // Runs packres with the arguments; keeps stdout and stderr in files; returns the exit code.
  int Run(const std::string& args) {
    std::string cmd = std::string(PACKRES) + " " + args + " >'" + Path("stdout") + "' 2>'" + Path("stderr") + "'";
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The arguments with $D replaced by the test's folder.
  std::string InDir(std::string args) const {
    for (size_t at; (at = args.find("$D")) != std::string::npos;) args.replace(at, 2, dir_);
    return args;
  }

  // The last run failed with one line on standard error that holds message.
  void ExpectOneLineError(const std::string& message) const {
    const std::string err = Text("stderr");
    EXPECT_NE(err.find(message), std::string::npos) << err;
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "more than one line: " << err;
  }

  // The names in the test's folder that start with prefix.
  std::vector<std::string> Names(const std::string& prefix) const {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir_.c_str())) {
      while (dirent* e = readdir(d))
        if (std::string(e->d_name).compare(0, prefix.size(), prefix) == 0) names.push_back(e->d_name);
      closedir(d);
    }
    return names;
  }

  std::string dir_;
};

}  // namespace testing_payload
