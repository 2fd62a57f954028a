# Shared part of the MinGW-w64 toolchain files: the including file sets ORV_ARCH, ORV_TRIPLE,
# CMAKE_SYSTEM_PROCESSOR and ORV_WINE_PREFIX (the Wine prefix its programs run in under the tests).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ORV_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ORV_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${ORV_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ORV_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Everything static: no MinGW runtime DLLs beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh;--prefix;${ORV_WINE_PREFIX}")
