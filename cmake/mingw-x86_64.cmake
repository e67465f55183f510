# 64-bit Windows build with mingw-w64. The product is the 32-bit build
# (mingw-i686.cmake); this one runs the same sources' tests under Wine on
# machines that cannot execute 32-bit code.
set(VORN_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
