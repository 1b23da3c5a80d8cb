// Working the program through its icon and menu, for the stress tests:
// a fixture for tests that start Heftmark themselves, and small steps that
// every test shares.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "harness.h"
#include "stress.h"

namespace stress {

using e2e::FakeTray;
using e2e::TrayEvent;

// The tip of the next NIM_MODIFY after a mouse action over the icon, or a
// text in angle brackets saying what came instead.
std::string TipAfter(FakeTray& tray, const TrayEvent& add, UINT mouse = WM_MOUSEMOVE,
                     DWORD timeoutMs = e2e::kEventTimeoutMs);
// Pops the tray menu with a right-button press; null if it did not open.
HWND PopMenu(const TrayEvent& add, DWORD pid);
// Pops the menu and types an item's access key; true once the menu closed.
bool Choose(const TrayEvent& add, DWORD pid, WORD key);
// The About window when it is shown, else null.
HWND AboutWindow(DWORD pid);

// A fake notification area for tests that start the program themselves.
class Desk : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tray.IsTheShell()) << "FindWindow does not find the fake tray first";
    ASSERT_EQ(::FindWindowA("TApplication", "Heftmark"), nullptr)
        << "a Heftmark from an earlier run is still alive";
  }
  void TearDown() override { e2e::EmptyTheClipboard(tray.hwnd()); }

  // The NIM_ADD of process pid, at index `from` or later.
  bool WaitAdd(DWORD pid, std::size_t from, TrayEvent* add,
               DWORD timeoutMs = e2e::kStartTimeoutMs);
  // Ends the program with E&xit; true when it removed its icon and ended
  // with exit code 0.
  ::testing::AssertionResult ExitByMenu(const TrayEvent& add, Instance& program);

  FakeTray tray;
};

}  // namespace stress
