# The Windows build: the program, its unit tests (run under Wine through CTest), the demo product and
# the small Windows tools the end-to-end tests use.

add_compile_definitions(UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00 NTDDI_VERSION=0x0A000000)
# -municode on the compile line of everything; on the link line only of programs with a wide entry point
# (GoogleTest's executables keep their narrow main).
add_compile_options(-municode)
add_link_options(-static -static-libgcc -static-libstdc++)

# Static archives only. The platform files reset this after the toolchain file, so it is set again here:
# with libz.dll.a the program would need zlib1.dll beside it.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
find_package(ZLIB REQUIRED)
set(PCRE2_USE_STATIC_LIBS ON)
# SF_DEPS_DIR (cmake/Sources.cmake): where scripts/setup.sh built PCRE2.
list(APPEND CMAKE_FIND_ROOT_PATH "${SF_DEPS_DIR}/pcre2-mingw")
find_package(PCRE2 CONFIG REQUIRED COMPONENTS 16BIT)

set(SF_WINE_RUN "${CMAKE_SOURCE_DIR}/cmake/wine-run.sh")
set(CMAKE_CROSSCOMPILING_EMULATOR "${SF_WINE_RUN}")

# Portable core.
add_library(sf_core STATIC ${SF_CORE_SOURCES})
target_include_directories(sf_core PUBLIC "${CMAKE_SOURCE_DIR}/src" "${CMAKE_BINARY_DIR}/generated")
target_include_directories(sf_core SYSTEM PUBLIC "${SF_JSON_INCLUDE}")
target_link_libraries(sf_core PUBLIC sf_lzmadec ZLIB::ZLIB)
sf_warnings(sf_core)

# Everything that needs the Windows API; the executable adds only its entry point and resources.
add_library(sf_app STATIC ${SF_WIN_SOURCES})
target_link_libraries(sf_app PUBLIC sf_core PCRE2::16BIT
  winhttp bcrypt gdiplus comctl32 shlwapi shell32 ole32 oleaut32 uuid wbemuuid iphlpapi version
  advapi32 user32 gdi32 msimg32 dwmapi)
sf_warnings(sf_app)
if(SF_TEST_HOOKS)
  target_compile_definitions(sf_app PUBLIC SF_TEST_HOOKS)
endif()

# The resource script and the manifest carry the versions of the top CMakeLists.txt.
set(SF_RESOURCE_DIR "${CMAKE_SOURCE_DIR}/resources")
string(REPLACE "." "," SF_FILE_VERSION_COMMAS "${SF_FILE_VERSION}")
string(REPLACE "." "," SF_PRODUCT_VERSION_COMMAS "${SF_PRODUCT_VERSION}")
set(SF_MANIFEST_FILE "${CMAKE_BINARY_DIR}/generated/Stormfinch.manifest")
set(SF_RC_FILE "${CMAKE_BINARY_DIR}/generated/Stormfinch.rc")
configure_file("${SF_RESOURCE_DIR}/Stormfinch.manifest.in" "${SF_MANIFEST_FILE}" @ONLY)
configure_file("${SF_RESOURCE_DIR}/Stormfinch.rc.in" "${SF_RC_FILE}" @ONLY)
file(GLOB SF_ARTWORK CONFIGURE_DEPENDS "${SF_RESOURCE_DIR}/*.png" "${SF_RESOURCE_DIR}/*.jpg")
set_source_files_properties("${SF_RC_FILE}" PROPERTIES OBJECT_DEPENDS "${SF_ARTWORK};${SF_MANIFEST_FILE}")

# The program: the library, its entry point and resources, and the keys it trusts.
function(sf_installer target)
  add_executable(${target} WIN32 src/startup/InstallerMain.cpp "${SF_RC_FILE}")
  target_link_libraries(${target} PRIVATE sf_app)
  target_link_options(${target} PRIVATE -municode)
  sf_warnings(${target})
  sf_manifest_keys(${target} ${ARGN})
endfunction()

sf_installer(Stormfinch ${SF_MANIFEST_KEYS})
# The same program trusting the test keys, for the end-to-end tests of signed versions. It keeps the
# program's file name, which the harness and the single-instance check go by.
if(SF_TEST_MANIFEST_KEYS)
  sf_installer(StormfinchSigned ${SF_TEST_MANIFEST_KEYS})
  set_target_properties(StormfinchSigned PROPERTIES OUTPUT_NAME Stormfinch
                        RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/signed")
endif()

# Unit tests: one executable for the portable core, one for the Windows code. Each runs once under Wine
# as a single CTest entry; GoogleTest's own output names the failing cases.
file(GLOB SF_UNIT_CORE CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/unit/core/*.cpp")
file(GLOB SF_UNIT_WIN CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/unit/win/*.cpp")

add_executable(unit_core ${SF_UNIT_CORE})
target_link_libraries(unit_core PRIVATE sf_core gmock_main)
target_compile_definitions(unit_core PRIVATE SF_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
sf_warnings(unit_core)
add_test(NAME unit_core.wine COMMAND unit_core --gtest_brief=1)

add_executable(unit_win ${SF_UNIT_WIN} "${SF_RC_FILE}")
target_include_directories(unit_win PRIVATE "${CMAKE_SOURCE_DIR}/tests/unit/win")
target_link_libraries(unit_win PRIVATE sf_app gmock_main)
sf_warnings(unit_win)
# The engine under test reads unsigned manifests; the tests of signed ones give their keys explicitly.
sf_manifest_keys(unit_win)
add_test(NAME unit_win.wine COMMAND unit_win --gtest_brief=1)
include("${CMAKE_SOURCE_DIR}/tests/fixtures/Packages.cmake")
# The unit tests' own resources: a tiny picture drawn at build time (no binary in the tree), and the same
# picture cut short.
set(SF_TEST_PICTURE "${CMAKE_BINARY_DIR}/test-resources/TestPicture.png")
set(SF_TEST_PICTURE_CUT "${CMAKE_BINARY_DIR}/test-resources/TestPictureCut.png")
add_custom_command(OUTPUT "${SF_TEST_PICTURE}" "${SF_TEST_PICTURE_CUT}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/test-resources"
  COMMAND convert -size 4x3 xc:red "png:${SF_TEST_PICTURE}"
  COMMAND sh -c "head -c 60 \"$1\" >\"$2\"" sh "${SF_TEST_PICTURE}" "${SF_TEST_PICTURE_CUT}"
  VERBATIM)
set_source_files_properties("${CMAKE_SOURCE_DIR}/tests/unit/win/TestResources.rc" PROPERTIES
  OBJECT_DEPENDS "${SF_TEST_PICTURE};${SF_TEST_PICTURE_CUT}")
target_sources(unit_win PRIVATE "${CMAKE_SOURCE_DIR}/tests/unit/win/TestResources.rc" "${SF_TEST_PICTURE}"
  "${SF_TEST_PICTURE_CUT}")
target_include_directories(unit_win PRIVATE "${CMAKE_BINARY_DIR}/test-resources")
set_tests_properties(unit_core.wine unit_win.wine PROPERTIES TIMEOUT 900)
# The wizard's pages and the internet settings dialog once more on a screen scaled to 150 %: the same
# program in a prefix of its own whose LogPixels is 144 (scripts/wine-prefix.sh).
add_test(NAME unit_win.wine.144dpi
  COMMAND unit_win --gtest_brief=1 "--gtest_filter=WizardWindow.*:InternetConfig.LooksLike*")
set_tests_properties(unit_win.wine.144dpi PROPERTIES TIMEOUT 900
  ENVIRONMENT "SF_WINE_DPI=144;SF_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-144dpi;http_proxy=")
include("${CMAKE_SOURCE_DIR}/tests/unit/win/TestServers.cmake")
include("${CMAKE_SOURCE_DIR}/tests/unit/win/LinkFixture.cmake")

foreach(dir tests/tools demo bench)
  if(EXISTS "${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt")
    add_subdirectory(${dir})
  endif()
endforeach()
