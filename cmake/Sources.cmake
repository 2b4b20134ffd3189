# Every module folder under src/ lists its files in a sources.cmake of its own:
#   sf_core_sources(...)  portable code, no <windows.h>: built for Windows and natively (sanitizers, fuzzing)
#   sf_win_sources(...)   code that needs the Windows API
# Paths are relative to the module folder.
set_property(GLOBAL PROPERTY SF_CORE_SOURCES "")
set_property(GLOBAL PROPERTY SF_WIN_SOURCES "")

macro(sf_core_sources)
  foreach(f ${ARGN})
    set_property(GLOBAL APPEND PROPERTY SF_CORE_SOURCES "${CMAKE_CURRENT_LIST_DIR}/${f}")
  endforeach()
endmacro()

macro(sf_win_sources)
  foreach(f ${ARGN})
    set_property(GLOBAL APPEND PROPERTY SF_WIN_SOURCES "${CMAKE_CURRENT_LIST_DIR}/${f}")
  endforeach()
endmacro()

foreach(module startup wizard engine transfer network logging errorreport common controls)
  if(EXISTS "${CMAKE_SOURCE_DIR}/src/${module}/sources.cmake")
    include("${CMAKE_SOURCE_DIR}/src/${module}/sources.cmake")
  endif()
endforeach()

get_property(SF_CORE_SOURCES GLOBAL PROPERTY SF_CORE_SOURCES)
get_property(SF_WIN_SOURCES GLOBAL PROPERTY SF_WIN_SOURCES)

configure_file("${CMAKE_SOURCE_DIR}/cmake/sf_config.h.in" "${CMAKE_BINARY_DIR}/generated/sf_config.h" @ONLY)

# nlohmann/json is header-only. Exposing /usr/include itself would let glibc's headers into the Windows
# build, so only its own folder is linked into a build-tree include folder.
set(SF_JSON_INCLUDE "${CMAKE_BINARY_DIR}/generated/json-include")
if(NOT EXISTS "${SF_JSON_INCLUDE}/nlohmann")
  file(MAKE_DIRECTORY "${SF_JSON_INCLUDE}")
  file(CREATE_LINK /usr/include/nlohmann "${SF_JSON_INCLUDE}/nlohmann" SYMBOLIC)
endif()

# scripts/setup.sh puts what it builds or takes from source packages into SF_DEPS_DIR (the environment's,
# else .deps in the source tree), so that several worktrees can share it.
if(DEFINED ENV{SF_DEPS_DIR} AND NOT "$ENV{SF_DEPS_DIR}" STREQUAL "")
  set(SF_DEPS_DIR_DEFAULT "$ENV{SF_DEPS_DIR}")
else()
  set(SF_DEPS_DIR_DEFAULT "${CMAKE_SOURCE_DIR}/.deps")
endif()
set(SF_DEPS_DIR "${SF_DEPS_DIR_DEFAULT}" CACHE PATH "Where scripts/setup.sh put PCRE2 and the LZMA decoder")

# The LZMA decoder: 7-Zip's LzmaDec.c from Debian's 7zip source package (scripts/setup.sh takes it),
# compiled as a small C library of its own. Nothing else provides LzmaDec.h to the build.
set(SF_LZMA_DECODER_DIR "${SF_DEPS_DIR}/lzma-decoder" CACHE PATH "7-Zip's LZMA decoder (LzmaDec.c)")
if(NOT EXISTS "${SF_LZMA_DECODER_DIR}/LzmaDec.c")
  message(FATAL_ERROR "No LZMA decoder in ${SF_LZMA_DECODER_DIR}: run scripts/setup.sh")
endif()
add_library(sf_lzmadec STATIC "${SF_LZMA_DECODER_DIR}/LzmaDec.c")
target_include_directories(sf_lzmadec SYSTEM PUBLIC "${SF_LZMA_DECODER_DIR}")
set_target_properties(sf_lzmadec PROPERTIES POSITION_INDEPENDENT_CODE ON)

# GoogleTest from Debian's source package, built for whichever target this build is for.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
