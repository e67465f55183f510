# Installing the LZX1 library for use elsewhere: the lzx tool, the static
# libraries it is made of, the public headers (lzx/api/*.h), a CMake package
# (find_package(Lzx) gives the imported target Lzx::lzx) and a pkg-config
# file (lzx.pc).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set_target_properties(vorn_lzx PROPERTIES EXPORT_NAME lzx)
set_target_properties(vorn_fileio PROPERTIES EXPORT_NAME fileio)
set_target_properties(vorn_base PROPERTIES EXPORT_NAME base)
target_include_directories(vorn_lzx INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS lzx RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS vorn_lzx vorn_fileio vorn_base EXPORT LzxTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
file(GLOB lzx_public_headers ${CMAKE_SOURCE_DIR}/src/lzx/api/*.h)
list(FILTER lzx_public_headers EXCLUDE REGEX "/guard\\.h$")  # inside the library only
install(FILES ${lzx_public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/lzx/api)

set(lzx_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Lzx)
install(EXPORT LzxTargets NAMESPACE Lzx:: DESTINATION ${lzx_cmake_dir})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/LzxConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/LzxConfig.cmake INSTALL_DESTINATION ${lzx_cmake_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/LzxConfigVersion.cmake
                                 VERSION ${LZX_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/LzxConfig.cmake ${CMAKE_BINARY_DIR}/LzxConfigVersion.cmake
        DESTINATION ${lzx_cmake_dir})

configure_file(${CMAKE_SOURCE_DIR}/cmake/lzx.pc.in ${CMAKE_BINARY_DIR}/lzx.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/lzx.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
