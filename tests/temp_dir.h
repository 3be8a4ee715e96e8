// A scoped temporary folder that is also the working directory while it lives, with helpers
// for reading and writing whole files as bytes.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace veltrim::testing {

class ScopedTempDir {
 public:
  ScopedTempDir() : old_cwd_(std::filesystem::current_path()) {
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    do {
      path_ = base / ("veltrim-test-" + std::to_string(rd()));
    } while (!std::filesystem::create_directory(path_));
    std::filesystem::current_path(path_);
  }
  ~ScopedTempDir() {
    std::error_code ec;
    std::filesystem::current_path(old_cwd_, ec);
    std::filesystem::remove_all(path_, ec);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

 private:
  std::filesystem::path old_cwd_;
  std::filesystem::path path_;
};

inline void write_file(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string read_file(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The names in a folder, sorted: what a run left there.
inline std::vector<std::string> folder_entries(const std::filesystem::path& folder = ".") {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    names.push_back(e.path().filename().u8string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

#ifdef _WIN32
// The \\?\ form of a UTF-8 path, which passes the 260 characters of plain Windows paths.
inline std::filesystem::path long_form(const std::string& utf8) {
  std::wstring w = L"\\\\?\\" + std::filesystem::absolute(std::filesystem::u8path(utf8)).wstring();
  std::replace(w.begin(), w.end(), L'/', L'\\');
  return w;
}
#endif

}  // namespace veltrim::testing
