// A folder of its own in the temporary folder for a test's files, removed with them afterwards.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace tolvane {

class TempFolder {
 public:
  TempFolder() {
    std::error_code ec;
    path_ = std::filesystem::temp_directory_path(ec) /
            ("tolvane-test-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(path_, ec);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::wstring Write(const std::wstring& name, const std::string& bytes) {
    const std::filesystem::path full = path_ / name;
    std::ofstream out(full, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << full.string();
    return full.wstring();
  }
  std::wstring Name(const std::wstring& name) const { return (path_ / name).wstring(); }

 private:
  std::filesystem::path path_;
};

}  // namespace tolvane
