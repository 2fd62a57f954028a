// What an exception that nobody catches does: a trace line and the end of the run with exit code 0.
// Replacing the runtime's verbose handler also keeps its symbol demangler out of the program.
#include <windows.h>

#include "utility/trace.h"

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    orv::TraceLine(L"unhandled exception: the setup stops\r\n");
    ::ExitProcess(0);
}

}  // namespace __gnu_cxx
