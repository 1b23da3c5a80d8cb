// Launching through the shell, with one failure policy: when the shell
// refuses, the command is left on the clipboard as text and an error is
// raised for the error box, so the user can paste it wherever it is needed.
#pragma once

#include <string>

// The shell's result of the latest launch.
extern int LastShellResult;

// Hands the three texts to ShellExecuteA (no owner, no verb) and returns
// its result, which is also stored in LastShellResult.
int ShellExecStr(const std::string& file, const std::string& parameters,
                 const std::string& directory, int showCmd);

// True when the shell's result is above 32.
bool ShellExecOK(const std::string& file, const std::string& parameters,
                 const std::string& directory, int showCmd);

// Launches command with SW_SHOW. On failure it replaces the clipboard's
// contents with the command and raises; so whenever it returns, it returns
// true.
bool ShellExecOrCopy(const std::string& command);
