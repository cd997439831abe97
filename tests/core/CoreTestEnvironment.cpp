#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "CoreTestSupport.h"

namespace zav::test {
namespace {

std::filesystem::path MakeTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zav-core-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern;
}

std::filesystem::path& Root() {
  static std::filesystem::path root;
  return root;
}

class CoreTestEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Root() = MakeTempFolder();
    std::filesystem::create_directories(TestHome());
    std::filesystem::create_directories(TestConfigHome());
    ::setenv("HOME", TestHome().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", TestConfigHome().c_str(), 1);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(Root(), ignored);
  }
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new CoreTestEnvironment);

void ClearFolder(const std::filesystem::path& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::filesystem::remove_all(entry.path());
  }
}

}  // namespace

std::filesystem::path TestHome() { return Root() / "home"; }
std::filesystem::path TestConfigHome() { return Root() / "config"; }

void ClearUserFolders() {
  ClearFolder(TestHome());
  ClearFolder(TestConfigHome());
}

TempFolder::TempFolder() : path_(MakeTempFolder()) {}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace zav::test
