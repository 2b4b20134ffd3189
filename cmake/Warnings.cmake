# One warning policy for every target of ours; third-party code (GoogleTest, the LZMA decoder) is
# built without it.
function(sf_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wshadow -Wnon-virtual-dtor
    -Wold-style-cast -Wcast-qual -Wformat=2 -Wimplicit-fallthrough)
endfunction()
