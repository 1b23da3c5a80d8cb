// Automatic access keys for menu captions.
#pragma once

#include <string>
#include <vector>

namespace heft {

// The upper-case access key that caption marks with a single "&" (a doubled
// "&&" is a literal ampersand), or '\0' when it has none.
char AccessKeyOf(const std::string& caption);

// Gives every caption without an access key one: keys already marked are
// taken first, in order; then each caption without one gets "&" inserted
// before its first ASCII letter or digit whose upper-case form is not yet
// taken. A caption with no free candidate stays as it is. Returns whether
// any caption changed, so a second run over the result returns false.
bool AssignAccessKeys(std::vector<std::string>& captions);

}  // namespace heft
