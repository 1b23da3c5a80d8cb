#include "ShellExc.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "clipbrd.h"
#include "errors.h"
#include "launch.h"
#include "text.h"

int LastShellResult = 0;

namespace {

// The command as UTF-16 from the ANSI code page.
std::wstring ToWide(const std::string& s) {
  if (s.empty()) return {};
  int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

}  // namespace

int ShellExecStr(const std::string& file, const std::string& parameters,
                 const std::string& directory, int showCmd) {
  std::vector<char> fileBuf = heft::LaunchBuffer(file);
  std::vector<char> paramBuf = heft::LaunchBuffer(parameters);
  std::vector<char> dirBuf = heft::LaunchBuffer(directory);
  HINSTANCE r = ::ShellExecuteA(nullptr, nullptr, fileBuf.data(), paramBuf.data(), dirBuf.data(),
                                showCmd);
  LastShellResult = static_cast<int>(reinterpret_cast<INT_PTR>(r));
  return LastShellResult;
}

bool ShellExecOK(const std::string& file, const std::string& parameters,
                 const std::string& directory, int showCmd) {
  return heft::ShellSucceeded(ShellExecStr(file, parameters, directory, showCmd));
}

bool ShellExecOrCopy(const std::string& command) {
  if (ShellExecOK(command, "", "", SW_SHOW)) return true;
  // The clipboard is written first, so the text is there when the user
  // reads the message.
  platform::Clipboard().SetUnicodeText(ToWide(command));
  throw platform::Exception(heft::ShellFailureMessage(command));
}
