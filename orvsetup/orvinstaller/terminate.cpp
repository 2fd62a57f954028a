// What an exception that nobody catches does: a trace line and the end of the run (EndRun) with
// kExitUncaught. Replacing the runtime's verbose handler also keeps its symbol demangler out of the program.
#include <windows.h>

#include "utility/runexit.h"
#include "utility/trace.h"

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    orv::TraceLine(L"unhandled exception: the setup stops\r\n");
    orv::EndRun(orv::kExitUncaught);
}

}  // namespace __gnu_cxx
