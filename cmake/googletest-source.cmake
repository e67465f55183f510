# GoogleTest for a cross build: compiled from the sources Debian ships
# (libgtest-dev installs them in /usr/src/googletest), with the cross
# compiler, so the test programs link against a library of their own target.
set(VORN_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
if(NOT EXISTS ${VORN_GTEST_SOURCE}/CMakeLists.txt)
  message(STATUS "No GoogleTest sources in ${VORN_GTEST_SOURCE}: the tests are not built")
  return()
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${VORN_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Their code, their warnings: our -Werror does not apply to it.
foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t})
    set_property(TARGET ${t} PROPERTY COMPILE_OPTIONS "")
  endif()
endforeach()
foreach(t gtest gtest_main gmock gmock_main)
  if(TARGET ${t} AND NOT TARGET GTest::${t})
    add_library(GTest::${t} ALIAS ${t})
  endif()
endforeach()
