// Pure pieces of launching through the shell.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text.h"

namespace heft {

// The fixed size of a launch buffer; longer texts get a buffer of their own
// size instead of being cut, which would name a different file.
inline constexpr std::size_t kLaunchBufferSize = 256;

// The shell reports success with a value above 32; 32 and below are errors.
inline constexpr bool ShellSucceeded(long long result) { return result > 32; }

// s up to (not including) its first zero character, followed by one zero
// byte, in a buffer of max(256, length + 1) bytes (the tail zero-filled).
std::vector<char> LaunchBuffer(std::string_view s);

// The folder of exePath with its closing separator (everything up to and
// including the last '\\' or ':', found character by character so that a
// trail byte is never taken for a backslash) followed by fileName.
// A path with neither gives fileName alone.
std::string SiblingPath(std::string_view exePath, std::string_view fileName,
                        LeadBytePredicate isLead = NoLeadBytes);

}  // namespace heft
