// The clipboard probe against the number of formats: Heftmark's own
// GetClipboardSize, a walk of the format list from its start for every
// index (what a per-index Formats(i) costs), and a bare one-pass loop, the
// floor. Each is timed in batches that alternate A B A B in one process, and
// its EnumClipboardFormats calls are counted through this exe's import
// table.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app.h"
#include "clipbrd.h"
#include "common.h"
#include "errors.h"
#include "main.h"

using bench::Fmt;
using bench::Note;
using bench::Seconds;

namespace {

constexpr SIZE_T kBlockBytes = 16;
constexpr int kSizes[] = {4, 64, 512};
constexpr int kRounds = 31;
constexpr double kBatchSeconds = 0.005;
// The walk is quadratic; it gets this much time per n and at least 3 rounds.
constexpr double kWalkBudgetSeconds = 3.0;

// ---- counting EnumClipboardFormats ----

using EnumFn = UINT(WINAPI*)(UINT);
EnumFn g_realEnum = nullptr;
long long g_enumCalls = 0;

UINT WINAPI CountingEnum(UINT format) {
  ++g_enumCalls;
  return g_realEnum(format);
}

// This exe's import slot for dll!name. Every call that the program's code
// makes, in our objects and in the linked libraries alike, goes through it.
void** ImportSlot(const char* dll, const char* name) {
  auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
    if (::lstrcmpiA(reinterpret_cast<char*>(base + d->Name), dll) != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
        base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<char*>(byName->Name), name) == 0)
        return reinterpret_cast<void**>(&slots->u1.Function);
    }
  }
  return nullptr;
}

void SetSlot(void** slot, void* value) {
  DWORD old = 0;
  ::VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
  *slot = value;
  ::VirtualProtect(slot, sizeof *slot, old, &old);
}

// ---- the three probes ----

TmainForm* g_form = nullptr;

std::uint64_t Ours() { return g_form->GetClipboardSize(); }

// What a probe costs when every index walks the list from its start.
std::uint64_t Walk() {
  auto& clip = platform::Clipboard();
  platform::ClipboardOpen open(clip);
  std::uint64_t total = 0;
  const int n = clip.FormatCount();
  for (int i = 0; i < n; ++i)
    if (HANDLE data = ::GetClipboardData(clip.Formats(i))) total += ::GlobalSize(data);
  return total;
}

// The least any probe must do: one pass, opened for the same window.
std::uint64_t Floor() {
  if (!::OpenClipboard(platform::Application->Handle()))
    throw platform::Exception("Cannot open clipboard");
  std::uint64_t total = 0;
  for (UINT f = ::EnumClipboardFormats(0); f; f = ::EnumClipboardFormats(f))
    if (HANDLE data = ::GetClipboardData(f)) total += ::GlobalSize(data);
  ::CloseClipboard();
  return total;
}

struct Probe {
  const char* name;
  std::uint64_t (*run)();
  long long failures = 0;  // opens refused by another holder, retried
  std::uint64_t last = 0;
};

// Runs k probes back to back and returns the time of one. An open that
// Wine's clipboard manager refused is retried, not timed as a probe.
double Batch(Probe& p, int k) {
  double spent = 0;
  for (int done = 0; done < k;) {
    const double t0 = Seconds();
    try {
      p.last = p.run();
    } catch (const platform::Exception&) {
      ++p.failures;
      ::Sleep(1);
      continue;
    }
    spent += Seconds() - t0;
    ++done;
  }
  return spent / k;
}

long long CountEnumCalls(void** slot, Probe& p) {
  g_enumCalls = 0;
  SetSlot(slot, reinterpret_cast<void*>(&CountingEnum));
  Batch(p, 1);
  SetSlot(slot, reinterpret_cast<void*>(g_realEnum));
  return g_enumCalls;
}

int BatchSize(Probe& p) {
  Batch(p, 3);  // warm
  const double one = Batch(p, 5);
  return std::max(1, static_cast<int>(kBatchSeconds / std::max(one, 1e-9)));
}

LRESULT CALLBACK OwnerProc(HWND h, UINT m, WPARAM w, LPARAM l) { return ::DefWindowProcW(h, m, w, l); }

}  // namespace

int main() {
  platform::PlatformUnits units;
  platform::Application->Initialize();
  TmainForm probe(nullptr);
  g_form = &probe;

  void** slot = ImportSlot("user32.dll", "EnumClipboardFormats");
  if (!slot) {
    Note("probe: no import slot for user32!EnumClipboardFormats");
    return 1;
  }
  g_realEnum = reinterpret_cast<EnumFn>(*slot);

  // The clipboard's owner: a window of our own, as another program's would be.
  WNDCLASSW wc{};
  wc.lpfnWndProc = OwnerProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"HeftBenchOwner";
  ::RegisterClassW(&wc);
  HWND owner = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 wc.hInstance, nullptr);

  const char* arch = sizeof(void*) == 8 ? "64-bit" : "32-bit";
  bench::Table table({"formats", "Heftmark GetClipboardSize", "floor: one pass",
                      "walk from start per index", "Heftmark / floor", "walk / floor",
                      "EnumClipboardFormats calls: Heftmark / floor / walk"});
  bool countsAsExpected = true;
  for (int n : kSizes) {
    std::vector<bench::Block> blocks;
    for (int i = 0; i < n; ++i)
      blocks.push_back({::RegisterClipboardFormatA(Fmt("Heftmark bench format %d", i).c_str()), kBlockBytes});
    Probe ours{"Heftmark", Ours}, floor{"floor", Floor}, walk{"walk", Walk};
    long long enumOurs = 0, enumFloor = 0, enumWalk = 0;
    // Every probe must see the same clipboard: n blocks of kBlockBytes.
    const std::uint64_t expect = static_cast<std::uint64_t>(n) * kBlockBytes;
    bool same = false;
    for (int attempt = 0; attempt < 3 && !same; ++attempt) {
      if (!bench::FillClipboard(owner, blocks)) {
        Note("probe: cannot fill the clipboard with %d formats", n);
        return 1;
      }
      enumOurs = CountEnumCalls(slot, ours);
      enumFloor = CountEnumCalls(slot, floor);
      enumWalk = CountEnumCalls(slot, walk);
      same = ours.last == expect && floor.last == expect && walk.last == expect;
    }
    if (!same) {
      Note("probe: at n=%d measured %llu / %llu / %llu bytes, expected %llu", n,
           static_cast<unsigned long long>(ours.last), static_cast<unsigned long long>(floor.last),
           static_cast<unsigned long long>(walk.last), static_cast<unsigned long long>(expect));
      return 1;
    }
    const long long nn = n;
    countsAsExpected &= enumOurs == nn + 1 && enumFloor == nn + 1 && enumWalk == nn * (nn + 1) / 2;

    const int kOurs = BatchSize(ours), kFloor = BatchSize(floor);
    const double walkOne = Batch(walk, 1);
    const int walkRounds = std::clamp(static_cast<int>(kWalkBudgetSeconds / walkOne), 3, kRounds);
    const int kWalk = std::max(1, static_cast<int>(kBatchSeconds / walkOne));
    std::vector<double> tOurs, tFloor, tWalk, ratios;
    for (int r = 0; r < kRounds; ++r) {
      // A B, then B A: neither always goes first.
      double a = 0, b = 0;
      if (r % 2 == 0) {
        a = Batch(ours, kOurs);
        b = Batch(floor, kFloor);
      } else {
        b = Batch(floor, kFloor);
        a = Batch(ours, kOurs);
      }
      tOurs.push_back(a);
      tFloor.push_back(b);
      ratios.push_back(a / b);
      if (r % (kRounds / walkRounds) == 0 && static_cast<int>(tWalk.size()) < walkRounds)
        tWalk.push_back(Batch(walk, kWalk));
    }
    if (ours.last != expect || floor.last != expect || (!tWalk.empty() && walk.last != expect)) {
      Note("probe: the clipboard changed while n=%d was timed", n);
      return 1;
    }
    const double ratio = bench::Median(ratios);
    const double walkRatio = bench::Median(tWalk) / bench::Median(tFloor);
    Note("probe %s n=%d: ours %.1f us, floor %.1f us, walk %.1f us; ratio %.3f; open retries %lld/%lld/%lld",
         arch, n, bench::Median(tOurs) * 1e6, bench::Median(tFloor) * 1e6, bench::Median(tWalk) * 1e6,
         ratio, ours.failures, floor.failures, walk.failures);
    table.Row({Fmt("%d", n), Fmt("%.1f us", bench::Median(tOurs) * 1e6),
               Fmt("%.1f us", bench::Median(tFloor) * 1e6), Fmt("%.1f us", bench::Median(tWalk) * 1e6),
               Fmt("%.3fx", ratio), Fmt("%.1fx", walkRatio),
               Fmt("%lld / %lld / %lld", enumOurs, enumFloor, enumWalk)});
    bench::RatioGoal(Fmt("Probe %s, %d formats: Heftmark / floor", arch, n), ratio, 1.10);
  }
  bench::EmptyTheClipboard(owner);
  ::DestroyWindow(owner);

  std::printf("### Clipboard probe, %s\n\n", arch);
  std::printf(
      "Time per probe (median of %d rounds; each round times a batch of Heftmark's probe and one of "
      "the floor, A B then B A in turn, so the two alternate; the ratio is the median of the "
      "per-round ratios, which drift in the machine's load does not move). "
      "Blocks of %u bytes in registered formats, owned by another window of the bench process. "
      "EnumClipboardFormats calls are counted for one probe through a counting wrapper put in this "
      "exe's import table slot for user32!EnumClipboardFormats, and taken out again before timing.\n\n",
      kRounds, static_cast<unsigned>(kBlockBytes));
  table.Print();
  if (!countsAsExpected)
    std::printf("Note: a call count differs from n + 1 (one pass) or n(n+1)/2 (walk).\n\n");
  return 0;
}
