// mkicon MAP ICO: turns the text pixel map MAP into the icon file ICO.
// On any error it says why, leaves ICO alone and exits with 1.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "icon_map.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: mkicon MAP ICO\n";
    return 2;
  }
  const std::filesystem::path in = argv[1];
  const std::filesystem::path out = argv[2];
  try {
    std::ifstream f(in, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read the map");
    const std::string text{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    const auto bytes = iconmap::encode(iconmap::parse(text));

    // Written beside the target and renamed, so a failed write never leaves
    // a truncated icon for the resource compiler to pick up.
    const std::filesystem::path tmp = out.string() + ".tmp";
    {
      std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
      o.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      if (!o.flush()) throw std::runtime_error("cannot write " + tmp.string());
    }
    std::filesystem::rename(tmp, out);
  } catch (const std::exception& e) {
    std::cerr << "mkicon: " << in.string() << ": " << e.what() << '\n';
    return 1;
  }
  return 0;
}
