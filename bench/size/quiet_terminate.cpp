// libstdc++'s default terminate handler writes the uncaught exception's
// demangled type to stderr, which a -mwindows program does not have; the
// handler alone brings the demangler and a printf into the link. Defining
// it here keeps the library's copy out. Linked only into the benchmark's
// copy of Heftmark, to measure what that is worth.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler();
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
