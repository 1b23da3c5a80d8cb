// Runs one of the generators the way the build does, for the tests.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tooltest {

struct Run {
  int exitCode;
  std::string errors;  // what the tool wrote to stderr
};

inline Run runTool(const std::string& exe, const std::string& in, const std::string& out) {
  const std::string err = out + ".stderr";
  const std::string cmd = "'" + exe + "' '" + in + "' '" + out + "' 2>'" + err + "'";
  const int status = std::system(cmd.c_str());
  std::ifstream f(err);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
          std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>())};
}

inline std::string readFile(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

inline std::filesystem::path scratch(const std::string& name) {
  std::filesystem::create_directories(SCRATCH_DIR);
  return std::filesystem::path(SCRATCH_DIR) / name;
}

}  // namespace tooltest
