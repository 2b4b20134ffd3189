# The shipped build (scripts/release.sh), Windows only. Included before any target is made, so that every
# one of them, the third-party ones included, is built this way: optimised, with the debug information
# that reading an error report's stacks needs (routines and lines, -g1), which the release splits off
# into a file of its own, and the same bytes from the same sources in any folder at any time: no time
# stamp in the executable, no build folder in its debug information.
set(CMAKE_C_FLAGS_RELEASE "-O2 -g1 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -g1 -DNDEBUG")
# In the debug information the sources are named from the repository's root ("src/...") and the build
# folder is "."; the build folder's map comes last, so that it wins for a build folder inside the sources.
add_compile_options("$<$<CONFIG:Release>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=;-ffile-prefix-map=${CMAKE_BINARY_DIR}=.>")
add_link_options("$<$<CONFIG:Release>:-Wl,--no-insert-timestamp>")
