// What any C++ program pays in file size for the language runtime once it
// uses exceptions and std::string and is linked statically: it builds one
// string, throws it in a std::runtime_error and catches it. The benchmark
// only measures its size; it is never run.
#include <windows.h>

#include <stdexcept>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR cmd, int) {
  try {
    std::string text = "Clipboard is ";
    text += cmd;
    throw std::runtime_error(text);
  } catch (const std::exception& e) {
    return static_cast<int>(std::string(e.what()).size());
  }
}
