// GDI+ for the whole process: started during static initialisation, shut down at exit.
#pragma once

namespace orv {

// True when GDI+ is running; starts it if an earlier start failed.
bool EnsureGdiplus();

}  // namespace orv
