// One running Heftmark per test, its icon registered with our fake tray.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "harness.h"

namespace e2e {

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tray.IsTheShell()) << "FindWindow does not find the fake tray first";
    ASSERT_EQ(::FindWindowA("TApplication", "Heftmark"), nullptr)
        << "a Heftmark from an earlier run is still alive";
    const std::string exe = ProgramPath();
    ASSERT_FALSE(exe.empty()) << "HEFTMARK_EXE is not set";
    ASSERT_TRUE(program.Start(exe)) << "cannot start " << exe << ": error " << ::GetLastError();
    const int i = tray.WaitFor(NIM_ADD, 0, kStartTimeoutMs);
    ASSERT_GE(i, 0) << "no NIM_ADD; received " << Describe(tray.events());
    add = tray.events()[static_cast<std::size_t>(i)];
  }

  void TearDown() override {
    program.Kill();
    // Also sends a Linux clipboard owner (xclip) on its way.
    EmptyTheClipboard(tray.hwnd());
  }

  HWND AppWindow() const {
    auto apps = WindowsOf(program.pid(), "TApplication");
    return apps.size() == 1 ? apps[0] : nullptr;
  }

  // Sends a mouse action over the icon and returns the tip of the
  // NIM_MODIFY that follows; anything else the shell heard meanwhile fails.
  std::string Refresh(UINT mouse = WM_MOUSEMOVE) {
    const std::size_t n = tray.events().size();
    FakeTray::Click(add, mouse);
    const int i = tray.WaitFor(NIM_MODIFY, n);
    if (i < 0) return "<no NIM_MODIFY; received " + Describe(tray.Since(n)) + ">";
    const auto events = tray.Since(n);
    EXPECT_EQ(events.size(), 1u) << Describe(events);
    const TrayEvent& e = tray.events()[static_cast<std::size_t>(i)];
    EXPECT_EQ(e.hwnd, add.hwnd);
    EXPECT_EQ(e.id, kIconId);
    EXPECT_EQ(e.flags, static_cast<UINT>(NIF_TIP));
    return e.tip;
  }

  FakeTray tray;
  Program program;
  TrayEvent add;  // the icon's NIM_ADD
};

}  // namespace e2e
