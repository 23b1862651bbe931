// What the stub does with an exception nobody catches: it ends at once.
// The library's own handler would print the exception's demangled type to
// a console the GUI program does not have, and brings the whole C++ name
// demangler into the stub to do so.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
