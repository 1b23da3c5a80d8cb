#include "desk.h"

namespace stress {

std::string TipAfter(FakeTray& tray, const TrayEvent& add, UINT mouse, DWORD timeoutMs) {
  const std::size_t n = tray.events().size();
  FakeTray::Click(add, mouse);
  const int i = tray.WaitFor(NIM_MODIFY, n, timeoutMs);
  if (i < 0) return "<no NIM_MODIFY; received " + e2e::Describe(tray.Since(n)) + ">";
  const TrayEvent& e = tray.events()[static_cast<std::size_t>(i)];
  if (e.hwnd != add.hwnd || e.id != add.id) return "<another icon: " + e2e::Describe(e) + ">";
  return e.tip;
}

HWND PopMenu(const TrayEvent& add, DWORD pid) {
  FakeTray::Click(add, WM_RBUTTONDOWN);
  return e2e::WaitForMenu(pid);
}

bool Choose(const TrayEvent& add, DWORD pid, WORD key) {
  HWND menu = PopMenu(add, pid);
  if (!menu) return false;
  e2e::MenuKey(menu, key);
  return e2e::PumpUntil([pid] { return !e2e::MenuOpen(pid); });
}

HWND AboutWindow(DWORD pid) {
  for (HWND h : e2e::WindowsOf(pid, "TmainForm"))
    if (::IsWindowVisible(h)) return h;
  return nullptr;
}

bool Desk::WaitAdd(DWORD pid, std::size_t from, TrayEvent* add, DWORD timeoutMs) {
  return e2e::PumpUntil(
      [&] {
        for (std::size_t i = from; i < tray.events().size(); ++i) {
          const TrayEvent& e = tray.events()[i];
          DWORD owner = 0;
          if (e.message == NIM_ADD && ::GetWindowThreadProcessId(e.hwnd, &owner) && owner == pid) {
            *add = e;
            return true;
          }
        }
        return false;
      },
      timeoutMs);
}

::testing::AssertionResult Desk::ExitByMenu(const TrayEvent& add, Instance& program) {
  const std::size_t n = tray.events().size();
  if (!Choose(add, program.pid(), 'X')) return ::testing::AssertionFailure() << "no menu for E&xit";
  DWORD code = 99;
  if (!program.WaitExit(e2e::kEventTimeoutMs, &code))
    return ::testing::AssertionFailure() << "still running after E&xit";
  const auto deletes = tray.Since(n, NIM_DELETE);
  if (code != 0 || deletes.size() != 1 || deletes[0].hwnd != add.hwnd)
    return ::testing::AssertionFailure()
           << "exit code " << code << ", after E&xit the shell heard " << e2e::Describe(tray.Since(n));
  return ::testing::AssertionSuccess();
}

}  // namespace stress
