# Cross-compiling for 32-bit Windows with MinGW-w64: the setup we ship. Programs run in a win32 prefix.
set(ORV_ARCH i686)
set(ORV_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ORV_WINE_PREFIX win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
