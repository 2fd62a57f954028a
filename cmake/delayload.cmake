# Delay-load import libraries: an import that is not one of the system's known DLLs must resolve only
# after the program has limited the DLL search to the system folder.
set(ORV_DELAYLOAD_DIR "${CMAKE_BINARY_DIR}/delayload")

# orv_delayload_lib(<out-var> <dll-base-name>): path of lib<name>_delay.a, built from the toolchain's
# import library lib<name>.a.
function(orv_delayload_lib out name)
  find_file(_orv_implib_${name} "lib${name}.a" PATHS "/usr/${ORV_TRIPLE}/lib" NO_DEFAULT_PATH REQUIRED)
  set(lib "${ORV_DELAYLOAD_DIR}/lib${name}_delay.a")
  add_custom_command(
    OUTPUT "${lib}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${ORV_DELAYLOAD_DIR}"
    COMMAND "${CMAKE_SOURCE_DIR}/tools/mkdelaylib.sh" ${ORV_TRIPLE} "${name}.dll" "${_orv_implib_${name}}" "${lib}"
    DEPENDS "${CMAKE_SOURCE_DIR}/tools/mkdelaylib.sh"
    COMMENT "Delay-load import library for ${name}.dll"
    VERBATIM)
  set(${out} "${lib}" PARENT_SCOPE)
endfunction()
