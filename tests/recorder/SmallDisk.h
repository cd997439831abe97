#pragma once
// A small file system of its own, mounted for a test (needs root, as in CI): a disk that fills.

#include <sys/mount.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace zav::test {

class SmallDisk {
 public:
  SmallDisk(const std::string& where, const std::string& options) : path_(where) {
    std::filesystem::create_directories(path_);
    mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return mounted_; }
  const std::string& path() const { return path_; }
  // Fills the disk with a file of its own until about `bytes` stay free.
  void LeaveFree(uintmax_t bytes) {
    const uintmax_t available = std::filesystem::space(path_).available;
    if (available <= bytes) return;
    std::ofstream filler(path_ + "/.filler", std::ios::binary);
    const std::string block(4096, '\0');
    for (uintmax_t left = available - bytes; left >= block.size(); left -= block.size()) filler << block;
  }
  void MakeReadOnly() {
    if (mounted_) mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  std::string path_;
  bool mounted_ = false;
};

}  // namespace zav::test
