# Install rules: the library, its headers under include/LUMCore, a CMake package
# (find_package(LUMCore) gives LUMCore::LUMCore) and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS LUMCore EXPORT LUMCoreTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

foreach(layer platform core si model decode receiver plugins)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/${layer}/
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/LUMCore/${layer}
        FILES_MATCHING PATTERN "*.h")
endforeach()

set(LUM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/LUMCore)
install(EXPORT LUMCoreTargets NAMESPACE LUMCore:: DESTINATION ${LUM_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/LUMCoreConfig.cmake.in
    ${PROJECT_BINARY_DIR}/LUMCoreConfig.cmake INSTALL_DESTINATION ${LUM_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/LUMCoreConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/LUMCoreConfig.cmake ${PROJECT_BINARY_DIR}/LUMCoreConfigVersion.cmake
    DESTINATION ${LUM_CMAKE_DIR})

configure_file(${PROJECT_SOURCE_DIR}/cmake/LUMCore.pc.in ${PROJECT_BINARY_DIR}/LUMCore.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/LUMCore.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
