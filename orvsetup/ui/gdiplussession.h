// GDI+ for the whole process: started on first need, from any thread, and shut down at exit. Every
// program that paints (the setup, its tools and tests) runs it through here.
#pragma once

namespace ORVUE {

// True when GDI+ is running; starts it if an earlier start failed.
bool EnsureGdiplus();

}  // namespace ORVUE
