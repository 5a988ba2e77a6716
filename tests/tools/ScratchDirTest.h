// A fixture with a scratch folder of its own, removed afterwards: the files a
// vxcat run reads as input and writes as output.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

class ScratchDirTest : public ::testing::Test {
 protected:
  explicit ScratchDirTest(const char* Prefix) : prefix_(Prefix) {}
  void SetUp() override {
    std::string tmpl = "/tmp/" + prefix_ + "-XXXXXX";
    ASSERT_NE(mkdtemp(&tmpl[0]), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }
  std::string Read(const std::string& name) const {
    std::ifstream f(Path(name), std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  // Waits (bounded) until the named file holds text.
  bool WaitFor(const std::string& name, const std::string& text, int timeoutMs = 10000) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Read(name).find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }
  std::string dir_;

 private:
  std::string prefix_;
};
