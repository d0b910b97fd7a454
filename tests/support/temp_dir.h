#pragma once
// A fresh, empty working directory per test: files the code under test writes
// (log.txt among them) never reach the tree, and test programs that ctest runs
// side by side never share one.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

class temp_dir_test : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    std::error_code ec;
    old_dir_ = fs::current_path(ec);
    std::random_device rd;
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100 && dir_.empty(); attempt++) {
      fs::path p = fs::temp_directory_path(ec) /
                   ("kta-support-" + std::to_string(stamp) + "-" + std::to_string(rd()));
      if (fs::create_directory(p, ec)) dir_ = p;
    }
    ASSERT_FALSE(dir_.empty()) << "no temporary directory";
    fs::current_path(dir_, ec);
    ASSERT_FALSE(ec) << ec.message();
  }

  void TearDown() override {
    std::error_code ec;
    std::filesystem::current_path(old_dir_, ec);
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }

  static bool exists(const char* name) { return std::filesystem::exists(name); }

  static std::string read_file(const char* name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // A file written in text mode, with the platform's line end read back as "\n"
  // (Windows stores "\r\n").
  static std::string read_text_file(const char* name) {
    std::string s = read_file(name), out;
    for (size_t i = 0; i < s.size(); i++)
      if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out += s[i];
    return out;
  }

  static void write_file(const char* name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary);
    out << bytes;
  }

 private:
  std::filesystem::path old_dir_;
  std::filesystem::path dir_;
};
