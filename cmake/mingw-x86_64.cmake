# Cross-compiling for 64-bit Windows with MinGW-w64: the native 64-bit setup. Programs run in a win64 prefix.
set(ORV_ARCH x86_64)
set(ORV_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ORV_WINE_PREFIX win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
