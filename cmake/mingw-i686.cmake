# 32-bit Windows build with mingw-w64: the product.
set(VORN_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
