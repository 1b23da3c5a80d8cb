// mkmanual SRC DOC: turns the plain-text manual SRC into the RTF file DOC.
// On any error it says where, leaves DOC alone and exits with 1.
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "manual_rtf.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: mkmanual SRC DOC\n";
    return 2;
  }
  const std::filesystem::path in = argv[1];
  const std::filesystem::path out = argv[2];
  try {
    std::ifstream f(in, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read the source");
    const std::string text{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    const std::string rtf = manual::convert(text);

    // Written beside the target and renamed, so a failed write never leaves
    // half a manual in the distribution folder.
    const std::filesystem::path tmp = out.string() + ".tmp";
    {
      std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
      o.write(rtf.data(), static_cast<std::streamsize>(rtf.size()));
      if (!o.flush()) throw std::runtime_error("cannot write " + tmp.string());
    }
    std::filesystem::rename(tmp, out);
  } catch (const std::exception& e) {
    std::cerr << "mkmanual: " << in.string() << ": " << e.what() << '\n';
    return 1;
  }
  return 0;
}
