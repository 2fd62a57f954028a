# cmake -DFILE=chunk.luac -P check-header.cmake
# Fails unless FILE starts with the header of 32-bit little-endian Lua 5.2 bytecode.
file(READ "${FILE}" head LIMIT 18 HEX)
set(expected "1b4c7561520001040404080019930d0a1a0a")
if(NOT head STREQUAL expected)
  file(REMOVE "${FILE}")
  message(FATAL_ERROR "${FILE}: bytecode header is ${head}, expected ${expected}")
endif()
