// GDI+ for the whole process: started on first need, shut down at exit.
#pragma once

namespace orv {

// True when GDI+ is running; starts it if an earlier start failed.
bool EnsureGdiplus();

}  // namespace orv
