# The native build of the portable core: its unit tests with AddressSanitizer and UndefinedBehavior-
# Sanitizer, and, with clang, the libFuzzer targets.

set(SF_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(${SF_SANITIZE})
add_link_options(${SF_SANITIZE})

find_package(ZLIB REQUIRED)

add_library(sf_core STATIC ${SF_CORE_SOURCES})
target_include_directories(sf_core PUBLIC "${CMAKE_SOURCE_DIR}/src" "${CMAKE_BINARY_DIR}/generated")
target_include_directories(sf_core SYSTEM PUBLIC "${SF_JSON_INCLUDE}")
target_link_libraries(sf_core PUBLIC sf_lzmadec ZLIB::ZLIB)
sf_warnings(sf_core)

file(GLOB SF_UNIT_CORE CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/unit/core/*.cpp")
add_executable(unit_core ${SF_UNIT_CORE})
target_link_libraries(unit_core PRIVATE sf_core gmock_main)
target_compile_definitions(unit_core PRIVATE SF_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
sf_warnings(unit_core)
add_test(NAME unit_core.native COMMAND unit_core --gtest_brief=1)
include("${CMAKE_SOURCE_DIR}/tests/fixtures/Packages.cmake")

# The layers of src/ as src/README.md orders them: no #include may reach a folder above its own. Reads
# the sources and builds nothing; the self-test shows the check catching an upward include.
add_test(NAME include_order COMMAND "${SF_PYTHON3}" "${CMAKE_SOURCE_DIR}/tests/layers/include_order.py"
  "${CMAKE_SOURCE_DIR}/src")
add_test(NAME include_order.self_test COMMAND "${SF_PYTHON3}" "${CMAKE_SOURCE_DIR}/tests/layers/include_order.py"
  --self-test)

if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND EXISTS "${CMAKE_SOURCE_DIR}/fuzz/CMakeLists.txt")
  add_subdirectory(fuzz)
endif()

if(EXISTS "${CMAKE_SOURCE_DIR}/bench/CMakeLists.txt")
  add_subdirectory(bench)
endif()
