# Building setup executables: the engine's objects linked with one product's resources.
#
# orv_write_link_description(<app-object-lib> <libraries...>) writes mksetup.env and link.rsp, which
# tools/mksetup.py reads (the build and `run.sh setup` use the same description).
# orv_add_setup(<target> OUTPUT <exe> PRODUCTS <dir>... [PAYLOAD <dir>] [WITHOUT_PAYLOAD_HASH]
#               [STRICT | UNCHECKED] [DEPENDS <files or targets>...])
#   STRICT: the product's check warnings stop the build; UNCHECKED: no checks (products broken on purpose).

# Debian's own Python: the build's scripts use its packages (the skin generator needs Pillow), which an
# interpreter earlier on PATH may not have.
if(EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "Python with the build's packages" FORCE)
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(ORV_SEVENZIP NAMES 7zz 7z REQUIRED)
set(ORV_MKSETUP "${CMAKE_SOURCE_DIR}/tools/mksetup.py")
set(ORV_SETUP_ENV "${CMAKE_BINARY_DIR}/mksetup/mksetup.env")
set(ORV_SETUP_RSP "${CMAKE_BINARY_DIR}/mksetup/link.rsp")
# Sections aligned to pages in the file as in memory: the loader can then map the image instead of reading
# it all in at start, so an embedded payload costs memory only where it is touched.
set(ORV_SETUP_LDFLAGS "-static -municode -mwindows -s -Wl,--gc-sections -Wl,--dynamicbase -Wl,--nxcompat -Wl,--file-alignment=4096")

function(orv_write_link_description app)
  set(libs ${ARGN})
  set(ORV_SETUP_DELAY_DEFS)
  foreach(lib IN LISTS libs)
    if(lib MATCHES "_delay\\.a$")
      string(REGEX REPLACE "\\.a$" ".def" def "${lib}")
      list(APPEND ORV_SETUP_DELAY_DEFS "${def}")
    endif()
  endforeach()
  set(lines "$<JOIN:$<TARGET_OBJECTS:${app}>,\n>")
  foreach(lib IN LISTS libs)
    if(TARGET ${lib})
      string(APPEND lines "\n$<TARGET_FILE:${lib}>")
    else()
      string(APPEND lines "\n${lib}")
    endif()
  endforeach()
  file(GENERATE OUTPUT "${ORV_SETUP_RSP}" CONTENT "${lines}\n")
  file(GENERATE OUTPUT "${ORV_SETUP_ENV}" CONTENT
"ARCH=${ORV_ARCH}
LUAC=${ORV_LUAC}
LAYOUTCHECK=${ORV_LAYOUTCHECK}
WINDRES=${CMAKE_RC_COMPILER}
CXX=${CMAKE_CXX_COMPILER}
SEVENZIP=${ORV_SEVENZIP}
LDFLAGS=${ORV_SETUP_LDFLAGS}
LINK_RSP=${ORV_SETUP_RSP}
ENGINE_RC=${ORV_ENGINE_RC}
RC_INCLUDE=${ORV_ENGINE_RC_GEN}
NM=${ORV_TRIPLE}-nm
DELAY_DEFS=${ORV_SETUP_DELAY_DEFS}
")
  get_filename_component(rc_dir "${ORV_ENGINE_RC}" DIRECTORY)
  set(deps "$<TARGET_OBJECTS:${app}>" ${app} "${ORV_ENGINE_RC}" "${rc_dir}/setup.ico" "${ORV_ENGINE_RC_GEN}/orvinstaller.manifest")
  foreach(lib IN LISTS libs)
    if(TARGET ${lib})
      list(APPEND deps ${lib} "$<TARGET_FILE:${lib}>")
    elseif(EXISTS "${lib}" OR lib MATCHES "^/")
      list(APPEND deps "${lib}")
    endif()
  endforeach()
  set_property(GLOBAL PROPERTY ORV_SETUP_LINK_DEPENDS "${deps}")
endfunction()

function(orv_add_setup target)
  cmake_parse_arguments(S "WITHOUT_PAYLOAD_HASH;STRICT;UNCHECKED" "OUTPUT;PAYLOAD" "PRODUCTS;DEPENDS" ${ARGN})
  get_property(link_deps GLOBAL PROPERTY ORV_SETUP_LINK_DEPENDS)
  set(args --env "${ORV_SETUP_ENV}" --work "${CMAKE_CURRENT_BINARY_DIR}/${target}.work")
  set(product_files)
  foreach(dir IN LISTS S_PRODUCTS)
    list(APPEND args --product "${dir}")
    file(GLOB_RECURSE files CONFIGURE_DEPENDS "${dir}/*")
    list(APPEND product_files ${files})
  endforeach()
  if(S_PAYLOAD)
    list(APPEND args --payload "${S_PAYLOAD}")
  endif()
  if(S_WITHOUT_PAYLOAD_HASH)
    list(APPEND args --without-payload-hash)
  endif()
  if(S_STRICT)
    list(APPEND args --strict)
  endif()
  if(S_UNCHECKED)
    list(APPEND args --no-check)
  endif()
  add_custom_command(
    OUTPUT "${S_OUTPUT}"
    COMMAND Python3::Interpreter "${ORV_MKSETUP}" ${args} "${S_OUTPUT}"
    DEPENDS "${ORV_MKSETUP}" "${CMAKE_SOURCE_DIR}/tools/delayundefined.py" "${CMAKE_SOURCE_DIR}/tools/productcheck.py"
            "${CMAKE_SOURCE_DIR}/tools/names.py" "${CMAKE_SOURCE_DIR}/docs/names.json" ${link_deps} orv_hostluac
            "${ORV_LUAC}" "${ORV_LAYOUTCHECK}" ${product_files} ${S_DEPENDS}
    COMMENT "Setup ${S_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${S_OUTPUT}")
endfunction()

# A layout document as a setup stores it: UTF-16LE with a byte-order mark.
function(orv_utf16_layout source out)
  add_custom_command(
    OUTPUT "${out}"
    COMMAND Python3::Interpreter -c "import sys; open(sys.argv[2], 'wb').write(b'\\xff\\xfe' + open(sys.argv[1], encoding='utf-8').read().encode('utf-16-le'))"
            "${source}" "${out}"
    DEPENDS "${source}"
    VERBATIM)
endfunction()

# The sample product's skin for a program of our own: writes <dir>/skin.rc (the layout and every skin
# image as resources) and sets <layout_var> to the converted layout, <images_var> to the images.
function(orv_skin_resources dir layout_var images_var)
  set(skin "${CMAKE_SOURCE_DIR}/orvsetup/resources")
  set(layout "${dir}/layout.utf16.xml")
  orv_utf16_layout("${skin}/LAYOUT.XML" "${layout}")
  file(GLOB images CONFIGURE_DEPENDS "${skin}/skin/*.png")
  set(rc "LAYOUT.XML XML \"${layout}\"\n")
  foreach(image IN LISTS images)
    get_filename_component(number "${image}" NAME_WE)
    string(APPEND rc "${number} PNG \"${image}\"\n")
  endforeach()
  file(GENERATE OUTPUT "${dir}/skin.rc" CONTENT "${rc}")
  set(${layout_var} "${layout}" PARENT_SCOPE)
  set(${images_var} "${images}" PARENT_SCOPE)
endfunction()
