#pragma once
// A native run's system with the scripts' own folder as the executable's:
// everything else is the real POSIX stand-in, and no message box is shown.

#include <string>
#include <vector>

#include "app/run_driver.h"

namespace testing_support {

class LocalRun : public RunSystem {
 public:
  explicit LocalRun(std::string folder) : folder_(std::move(folder)) {}
  std::string ExecutableFolder() override { return folder_; }
  std::vector<std::string> FindScripts(const std::string& p) override {
    return SystemRun().FindScripts(p);
  }
  bool EnterApartment() override { return true; }
  void LeaveApartment() override {}
  bool CopyFile(const std::string& from, const std::string& to) override {
    return SystemRun().CopyFile(from, to);
  }
  bool ReadFile(const std::string& path, std::string* bytes) override {
    return SystemRun().ReadFile(path, bytes);
  }
  void ShowMessage(const std::string&, const std::string&) override {}

 private:
  std::string folder_;
};

}  // namespace testing_support
