// Stands in for the programs that the shell opens documents and addresses
// with: it appends its whole command line to a log and exits, so a test can
// see exactly what the shell was handed.
#include <windows.h>

#include <string>

namespace {

// HEFT_RECORDER_LOG names the log; without it the log lies beside the exe.
std::string LogPath() {
  char buf[32768];
  DWORD n = ::GetEnvironmentVariableA("HEFT_RECORDER_LOG", buf, sizeof buf);
  if (n > 0 && n < sizeof buf) return std::string(buf, n);
  n = ::GetModuleFileNameA(nullptr, buf, sizeof buf);
  std::string path(buf, n < sizeof buf ? n : 0);
  const auto dot = path.rfind('.');
  const auto slash = path.find_last_of("\\/");
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) path.resize(dot);
  return path + ".log";
}

}  // namespace

int main() {
  // One write of the whole line, so that a reader never sees half of it.
  const std::string line = std::string(::GetCommandLineA()) + "\r\n";
  HANDLE log = ::CreateFileA(LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(log);
  return ok && written == line.size() ? 0 : 1;
}
