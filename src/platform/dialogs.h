// The two ways an error reaches the user, and the rule they share of
// disabling the program's other windows while they are up.
#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

namespace platform {

// While alive, every visible and enabled top-level window of this thread
// is disabled, except other message boxes (so nested boxes can be closed
// in either order); afterwards they are enabled again and the window that
// was active is activated again.
class TaskWindowsDisabled {
 public:
  TaskWindowsDisabled();
  TaskWindowsDisabled(const TaskWindowsDisabled&) = delete;
  TaskWindowsDisabled& operator=(const TaskWindowsDisabled&) = delete;
  ~TaskWindowsDisabled();

 private:
  std::vector<HWND> disabled_;
  HWND active_;
};

// The error dialog, captioned "Error", with the error icon and one OK
// button; the application window shows its taskbar button meanwhile.
void ErrorDialog(std::string_view message);

}  // namespace platform
