// pestamp: sets the link time of a Windows executable to a given moment, so
// that two builds of the same commit are byte for byte the same.
//
//   pestamp SECONDS FILE...
//
// Writes SECONDS (Unix time) into the COFF header's TimeDateStamp and into
// every debug directory entry, then recomputes the optional header's
// CheckSum. The file is changed in place; the release step runs it on copies.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint16_t kMagicPe32 = 0x10b;
constexpr std::uint16_t kMagicPe32Plus = 0x20b;
constexpr std::size_t kLfanewAt = 0x3c;
constexpr std::size_t kCoffSize = 20;
constexpr std::size_t kSectionSize = 40;
constexpr std::size_t kDebugEntrySize = 28;
constexpr std::size_t kDebugDirectory = 6;
constexpr std::size_t kChecksumInOptional = 64;

struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::uint32_t Get(const Bytes& b, std::size_t at, std::size_t width) {
  if (at > b.size() || b.size() - at < width) throw Error("truncated at offset " + std::to_string(at));
  std::uint32_t v = 0;
  for (std::size_t i = width; i-- > 0;) v = (v << 8) | b[at + i];
  return v;
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  Get(b, at, 4);  // bounds
  for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// The loader's algorithm: 16-bit one's-complement sum of the file with the
// checksum field taken as zero, plus the file length.
std::uint32_t PeChecksum(const Bytes& b, std::size_t checksumAt) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < b.size(); i += 2) {
    std::uint32_t word = b[i] | (i + 1 < b.size() ? b[i + 1] << 8 : 0);
    if (i >= checksumAt && i < checksumAt + 4) word = 0;
    sum += word;
    sum = (sum & 0xffff) + (sum >> 16);
  }
  sum = (sum & 0xffff) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + b.size());
}

struct Section {
  std::uint32_t rva, virtualSize, rawSize, rawAt;
};

// The file offset of an RVA range, or throws when no section holds it.
std::size_t FileOffset(const std::vector<Section>& sections, std::uint32_t rva, std::uint32_t size) {
  for (const Section& s : sections) {
    const std::uint32_t extent = s.virtualSize > s.rawSize ? s.rawSize : s.virtualSize;
    if (rva >= s.rva && rva - s.rva <= extent && extent - (rva - s.rva) >= size)
      return s.rawAt + (rva - s.rva);
  }
  throw Error("RVA " + std::to_string(rva) + " lies in no section");
}

void Stamp(Bytes& b, std::uint32_t when) {
  if (Get(b, 0, 2) != 0x5a4d) throw Error("no MZ header");
  const std::size_t pe = Get(b, kLfanewAt, 4);
  if (Get(b, pe, 4) != kPeSignature) throw Error("no PE signature");
  const std::size_t coff = pe + 4;
  const std::size_t sectionCount = Get(b, coff + 2, 2);
  const std::size_t optionalSize = Get(b, coff + 16, 2);
  const std::size_t opt = coff + kCoffSize;
  const std::uint16_t magic = static_cast<std::uint16_t>(Get(b, opt, 2));
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) throw Error("unknown optional header");
  const std::size_t dirCountAt = opt + (magic == kMagicPe32 ? 92 : 108);
  const std::size_t dirsAt = dirCountAt + 4;
  const std::size_t dirCount = Get(b, dirCountAt, 4);
  if (dirsAt + 8 * dirCount > opt + optionalSize) throw Error("data directories overrun the header");

  std::vector<Section> sections;
  for (std::size_t i = 0; i < sectionCount; ++i) {
    const std::size_t s = opt + optionalSize + i * kSectionSize;
    sections.push_back({Get(b, s + 12, 4), Get(b, s + 8, 4), Get(b, s + 16, 4), Get(b, s + 20, 4)});
  }

  Put32(b, coff + 4, when);
  if (dirCount > kDebugDirectory) {
    const std::uint32_t rva = Get(b, dirsAt + 8 * kDebugDirectory, 4);
    const std::uint32_t size = Get(b, dirsAt + 8 * kDebugDirectory + 4, 4);
    if (rva != 0 && size != 0) {
      const std::size_t at = FileOffset(sections, rva, size);
      for (std::size_t e = 0; e + kDebugEntrySize <= size; e += kDebugEntrySize) Put32(b, at + e + 4, when);
    }
  }
  const std::size_t checksumAt = opt + kChecksumInOptional;
  Put32(b, checksumAt, PeChecksum(b, checksumAt));
}

Bytes Read(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("cannot open");
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Write(const char* path, const Bytes& b) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  if (!out.flush()) throw Error("cannot write");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: pestamp SECONDS FILE...\n");
    return 2;
  }
  errno = 0;
  char* end = nullptr;
  const unsigned long long when = std::strtoull(argv[1], &end, 10);
  if (errno != 0 || end == argv[1] || *end != '\0' || when > 0xffffffffULL) {
    std::fprintf(stderr, "pestamp: not a 32-bit time: %s\n", argv[1]);
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    try {
      Bytes b = Read(argv[i]);
      Stamp(b, static_cast<std::uint32_t>(when));
      Write(argv[i], b);
    } catch (const Error& e) {
      std::fprintf(stderr, "pestamp: %s: %s\n", argv[i], e.what());
      return 1;
    }
  }
  return 0;
}
