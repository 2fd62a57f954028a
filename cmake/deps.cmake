# Third-party libraries, built from the Debian source packages that
# tools/fetch-deps.sh unpacks under ${ORV_DEPS_DIR}/src:
#
#   orv_lua          Lua 5.2 core and standard libraries (compiled as C++, static)
#   orv_pugixml      pugixml in wide-character mode (static)
#   orv_lzma         7z archive reader with the LZMA, LZMA2, PPMd, BCJ, BCJ2,
#                    ARM, ARM64, ARM Thumb, PowerPC, SPARC, IA-64, RISC-V and
#                    delta decoders and CRC32 (C, static)
#   GTest::gtest, GTest::gtest_main
#                    GoogleTest (static), aliases of orv_gtest / orv_gtest_main
#   orv_hostluac     host target building a native Linux luac and the builder's
#                    layout checker (ORV_LAYOUTCHECK); luac's path is in
#                    ORV_LUAC. Custom commands that run it should list both:
#                      DEPENDS orv_hostluac ${ORV_LUAC}
#
# Include this file from the top-level CMakeLists.txt (directory scope, not
# from a function). ORV_DEPS_DIR defaults to <repo>/.deps. When the sources
# are missing they are fetched at configure time unless ORV_FETCH_DEPS is OFF.
#
# The libraries are compiled with -w: their own warnings are not ours to fix,
# and their headers reach our code as system headers.

include_guard(GLOBAL)

get_filename_component(_orv_repo_dir "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

# A value set by the including project or given with -D wins over the default.
if(NOT ORV_DEPS_DIR)
  set(ORV_DEPS_DIR "${_orv_repo_dir}/.deps" CACHE PATH "Folder holding the unpacked dependency sources (src/<package>)")
endif()
get_filename_component(ORV_DEPS_DIR "${ORV_DEPS_DIR}" ABSOLUTE)
option(ORV_FETCH_DEPS "Run tools/fetch-deps.sh at configure time when dependency sources are missing" ON)

# The LZMA sources are C; Lua is compiled as C++, pugixml and gtest are C++.
enable_language(C)
enable_language(CXX)

set(_orv_src "${ORV_DEPS_DIR}/src")
set(_orv_lua_dir "${_orv_src}/lua5.2/src")
set(_orv_pugi_dir "${_orv_src}/pugixml/src")
set(_orv_lzma_dir "${_orv_src}/7zip/C")
set(_orv_gtest_dir "${_orv_src}/googletest/googletest")

macro(_orv_deps_present out)
  set(${out} TRUE)
  foreach(_f "${_orv_lua_dir}/lua.h" "${_orv_pugi_dir}/pugixml.cpp"
             "${_orv_lzma_dir}/7zDec.c" "${_orv_gtest_dir}/src/gtest-all.cc")
    if(NOT EXISTS "${_f}")
      set(${out} FALSE)
    endif()
  endforeach()
endmacro()

_orv_deps_present(_orv_have_deps)
if(NOT _orv_have_deps AND ORV_FETCH_DEPS)
  message(STATUS "Fetching dependency sources into ${ORV_DEPS_DIR}")
  execute_process(
    COMMAND "${_orv_repo_dir}/tools/fetch-deps.sh" "${ORV_DEPS_DIR}"
    RESULT_VARIABLE _orv_fetch_rc)
  if(NOT _orv_fetch_rc EQUAL 0)
    message(FATAL_ERROR "tools/fetch-deps.sh failed (${_orv_fetch_rc})")
  endif()
  _orv_deps_present(_orv_have_deps)
endif()
if(NOT _orv_have_deps)
  message(FATAL_ERROR "Dependency sources missing under ${_orv_src}; run tools/fetch-deps.sh ${ORV_DEPS_DIR}")
endif()

# ---------------------------------------------------------------- Lua 5.2
file(GLOB _orv_lua_sources "${_orv_lua_dir}/*.c")
list(FILTER _orv_lua_sources EXCLUDE REGEX "/luac?\\.c$")
# Compiled as C++: a Lua error is then a C++ exception that runs the destructors of the engine's frames
# it passes (as C, Lua would longjmp over them). The engine includes lua.h directly for the same linkage.
set_source_files_properties(${_orv_lua_sources} PROPERTIES LANGUAGE CXX)
add_library(orv_lua STATIC ${_orv_lua_sources})
# GNU mode: strict ISO mode would make luaconf.h drop its Windows settings and its number conversions
# (which round and wrap the same way on every target).
set_target_properties(orv_lua PROPERTIES LINKER_LANGUAGE CXX CXX_EXTENSIONS ON)
target_include_directories(orv_lua SYSTEM PUBLIC "${_orv_lua_dir}")
# PUBLIC so that our code sees the same compatibility macros in lua.h and
# lauxlib.h as the library was built with.
target_compile_definitions(orv_lua PUBLIC LUA_COMPAT_ALL)
target_compile_options(orv_lua PRIVATE -w)
# The script state is shared by the dialogs' thread and the install worker. Lua's lock hooks (lua_lock,
# lua_unlock, luai_userstateclose in llimits.h) are bound to the engine's one recursive lock: luauser.h,
# forced into every Lua source file, defines them, and the lock itself is compiled into Lua's library so
# that every program linking Lua has it.
set(_orv_lua_user_dir "${CMAKE_SOURCE_DIR}/orvsetup/orvinstaller/orvscriptengine")
target_sources(orv_lua PRIVATE "${_orv_lua_user_dir}/lualock.cpp")
target_compile_options(orv_lua PRIVATE -include "${_orv_lua_user_dir}/luauser.h")
target_include_directories(orv_lua PRIVATE "${CMAKE_SOURCE_DIR}/orvsetup/orvinstaller")

# ---------------------------------------------------------------- pugixml
add_library(orv_pugixml STATIC "${_orv_pugi_dir}/pugixml.cpp")
target_include_directories(orv_pugixml SYSTEM PUBLIC "${_orv_pugi_dir}")
# No STL streams: the layout is parsed from memory, and streams would pull in the whole locale library.
target_compile_definitions(orv_pugixml PUBLIC PUGIXML_WCHAR_MODE PUGIXML_NO_STL)
target_compile_options(orv_pugixml PRIVATE -w)

# ---------------------------------------------------------------- 7z / LZMA
# The decoder set of the SDK's own 7z extractor, with PPMd (turned on by
# Z7_PPMD_SUPPORT, spelt _7ZIP_PPMD_SUPPPORT in older releases).
set(_orv_lzma_sources)
foreach(_f 7zAlloc.c 7zArcIn.c 7zBuf.c 7zBuf2.c 7zCrc.c 7zCrcOpt.c 7zDec.c
           7zFile.c 7zStream.c Bcj2.c Bra.c Bra86.c BraIA64.c CpuArch.c
           Delta.c Lzma2Dec.c LzmaDec.c Ppmd7.c Ppmd7Dec.c)
  if(EXISTS "${_orv_lzma_dir}/${_f}")
    list(APPEND _orv_lzma_sources "${_orv_lzma_dir}/${_f}")
  elseif(_f MATCHES "^(7zArcIn|7zDec|7zCrc|7zStream|LzmaDec|Lzma2Dec|Bcj2|Bra|Bra86|CpuArch|Ppmd7|Ppmd7Dec)\\.c$")
    message(FATAL_ERROR "${_orv_lzma_dir}/${_f} is missing")
  endif()
endforeach()
add_library(orv_lzma STATIC ${_orv_lzma_sources})
set_target_properties(orv_lzma PROPERTIES LINKER_LANGUAGE C)
target_include_directories(orv_lzma SYSTEM PUBLIC "${_orv_lzma_dir}")
target_compile_definitions(orv_lzma PRIVATE Z7_EXTRACT_ONLY _7ZIP_EXTRACT_ONLY Z7_PPMD_SUPPORT _7ZIP_PPMD_SUPPPORT)
# Decoding speed is the payload's install time: optimise it for speed even in a size-optimised build.
target_compile_options(orv_lzma PRIVATE -O2)
target_compile_options(orv_lzma PRIVATE -w)

# ---------------------------------------------------------------- GoogleTest
# Built from its amalgamated sources rather than through its own CMake project,
# which changes global settings and probes for pthreads.
add_library(orv_gtest STATIC "${_orv_gtest_dir}/src/gtest-all.cc")
target_compile_features(orv_gtest PUBLIC cxx_std_14)

# GCC before 13 with MinGW's win32 thread model has no std::mutex or
# std::condition_variable, and gtest's Notification (used only to start its
# helper threads) needs both. gtest lets a custom port header supply that class;
# ours waits on an atomic flag instead. The generated folder comes first so it
# shadows the empty stock custom/gtest-port.h.
include(CheckCXXSourceCompiles)
check_cxx_source_compiles("
#include <mutex>
#include <condition_variable>
int main() { std::mutex m; std::condition_variable cv; std::lock_guard<std::mutex> l(m); return 0; }"
  ORV_HAVE_STD_MUTEX)
if(NOT ORV_HAVE_STD_MUTEX)
  set(_orv_gtest_custom "${CMAKE_BINARY_DIR}/orv-gtest-custom")
  file(CONFIGURE OUTPUT "${_orv_gtest_custom}/gtest/internal/custom/gtest-port.h"
    @ONLY CONTENT [=[
// Generated by cmake/deps.cmake: gtest port settings for a C++ library
// without std::mutex (MinGW, win32 thread model).
#ifndef ORV_GTEST_CUSTOM_PORT_H_
#define ORV_GTEST_CUSTOM_PORT_H_

#include <atomic>

extern "C" __declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

// Lets a controller thread hold back the threads it creates until it calls
// Notify().
class Notification {
 public:
  Notification() : notified_(false) {}
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { notified_.store(true, std::memory_order_release); }

  void WaitForNotification() {
    while (!notified_.load(std::memory_order_acquire)) ::Sleep(1);
  }

 private:
  std::atomic<bool> notified_;
};

}  // namespace internal
}  // namespace testing

#endif  // ORV_GTEST_CUSTOM_PORT_H_
]=])
  target_include_directories(orv_gtest SYSTEM BEFORE PUBLIC "${_orv_gtest_custom}")
endif()
target_include_directories(orv_gtest SYSTEM PUBLIC "${_orv_gtest_dir}/include")
target_include_directories(orv_gtest PRIVATE "${_orv_gtest_dir}")
target_compile_options(orv_gtest PRIVATE -w)

add_library(orv_gtest_main STATIC "${_orv_gtest_dir}/src/gtest_main.cc")
target_link_libraries(orv_gtest_main PUBLIC orv_gtest)
target_compile_options(orv_gtest_main PRIVATE -w)

add_library(GTest::gtest ALIAS orv_gtest)
add_library(GTest::gtest_main ALIAS orv_gtest_main)

# ---------------------------------------------------------------- host luac and layout checker
# Compiled Lua scripts are embedded into the installer. A native luac writes them; tools/luachunk.py
# rewrites its chunks for the target's size_t width. The builder's layout checker parses a product's layout
# with pugixml. Both are built in a project of their own, since this one is configured for the Windows target.
include(ExternalProject)
find_program(ORV_HOST_CC NAMES gcc cc NO_CMAKE_FIND_ROOT_PATH DOC "Host C compiler used for luac")
if(NOT ORV_HOST_CC)
  message(FATAL_ERROR "No host C compiler (gcc) found for building luac")
endif()
find_program(ORV_HOST_CXX NAMES g++ c++ NO_CMAKE_FIND_ROOT_PATH DOC "Host C++ compiler used for the layout checker")
if(NOT ORV_HOST_CXX)
  message(FATAL_ERROR "No host C++ compiler (g++) found for building the layout checker")
endif()

set(_orv_luac_bin "${CMAKE_BINARY_DIR}/orv-hostluac")
set(ORV_LUAC "${_orv_luac_bin}/luac" CACHE INTERNAL "Host Lua 5.2 compiler")
set(ORV_LAYOUTCHECK "${_orv_luac_bin}/layoutcheck" CACHE INTERNAL "Host layout checker of the builder")

ExternalProject_Add(orv_hostluac
  SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/hostluac"
  BINARY_DIR "${_orv_luac_bin}"
  PREFIX "${CMAKE_BINARY_DIR}/orv-hostluac-ep"
  CMAKE_ARGS
    -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_C_COMPILER=${ORV_HOST_CC}"
    "-DCMAKE_CXX_COMPILER=${ORV_HOST_CXX}"
    "-DLUA_SRC_DIR=${_orv_lua_dir}"
    "-DPUGI_SRC_DIR=${_orv_pugi_dir}"
  BUILD_COMMAND "${CMAKE_COMMAND}" --build "${_orv_luac_bin}" --parallel 1
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS "${ORV_LUAC}" "${ORV_LAYOUTCHECK}"
  # The inner build is a no-op once luac is up to date, and it notices by
  # itself when cmake/hostluac changes.
  BUILD_ALWAYS ON
  CONFIGURE_HANDLED_BY_BUILD ON)
