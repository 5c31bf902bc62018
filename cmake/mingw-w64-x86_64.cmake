# Cross-compiles for 64-bit Windows with Debian's mingw-w64. The product is
# the 32-bit program; this build runs the same code under a 64-bit-only
# Wine, on hosts that cannot execute 32-bit Linux programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
