# Install layout and the files a host finds the library with. Components:
#   runtime  the library, the component beside it, the message catalog, the schemas
#   dev      the headers, the pkg-config file, the CMake package, examples and documentation
#   tools    zavsign, eq-query, eq-server
# The library and its catalog are found relative to the library file, so the whole tree may be
# installed under any prefix (or unpacked under any root) and still work without NLSPATH.
include_guard(GLOBAL)
include(CMakePackageConfigHelpers)

set(ZAV_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zavEventQuerySvcs)
set(ZAV_DATA_DIR ${CMAKE_INSTALL_DATADIR}/zavEventQuerySvcs5)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/schemas/ DESTINATION ${ZAV_DATA_DIR}/schemas
        COMPONENT runtime)

# CMake package: relocatable, the prefix is found from the file's own place.
install(EXPORT zavEventQuerySvcsTargets NAMESPACE zav:: FILE zavEventQuerySvcsTargets.cmake
        DESTINATION ${ZAV_CMAKE_PACKAGE_DIR} COMPONENT dev)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/zavEventQuerySvcsConfig.cmake.in
    ${PROJECT_BINARY_DIR}/package/zavEventQuerySvcsConfig.cmake
    INSTALL_DESTINATION ${ZAV_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/zavEventQuerySvcsConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/zavEventQuerySvcsConfig.cmake
              ${PROJECT_BINARY_DIR}/package/zavEventQuerySvcsConfigVersion.cmake
        DESTINATION ${ZAV_CMAKE_PACKAGE_DIR} COMPONENT dev)

# pkg-config file. Written at install time, so that it names the prefix actually installed to
# (cmake --install --prefix, or /usr when CPack builds the Debian packages), never the configured
# one; written straight into the destination, so that concurrent installs do not share a file.
set(zav_pc_template ${PROJECT_SOURCE_DIR}/cmake/zavEventQuerySvcs5.pc.in)
install(CODE "
    set(PROJECT_VERSION \"${PROJECT_VERSION}\")
    set(ZAV_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    set(ZAV_PC_LIBDIR \"\\\${prefix}/${CMAKE_INSTALL_LIBDIR}\")
    set(ZAV_PC_INCLUDEDIR \"\\\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}\")
    set(zav_pc_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\")
    file(MAKE_DIRECTORY \"\${zav_pc_dir}\")
    configure_file(\"${zav_pc_template}\" \"\${zav_pc_dir}/zavEventQuerySvcs5.pc\" @ONLY)
    message(STATUS \"Installing: \${zav_pc_dir}/zavEventQuerySvcs5.pc\")
" COMPONENT dev)

# Examples build on their own against the install (examples/CMakeLists.txt).
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
              ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/docs/configuration.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/scs/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR}
        RENAME component.md COMPONENT dev)
# The pages the README links to, under the same relative path.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
        COMPONENT dev FILES_MATCHING PATTERN "*.md" PATTERN "man" EXCLUDE)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${ZAV_DATA_DIR} COMPONENT runtime)

# Manual pages of the tools (docs/man), compressed as Debian installs them.
set(zav_man_pages zavsign)
if(ZAV_BUILD_TOOLS)
    list(APPEND zav_man_pages eq-query)
endif()
if(ZAV_BUILD_SERVER)
    list(APPEND zav_man_pages eq-server)
endif()
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man)
foreach(page IN LISTS zav_man_pages)
    set(source ${PROJECT_SOURCE_DIR}/docs/man/${page}.1)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    execute_process(COMMAND gzip -9n -c ${source} OUTPUT_FILE ${PROJECT_BINARY_DIR}/man/${page}.1.gz
                    COMMAND_ERROR_IS_FATAL ANY)
    install(FILES ${PROJECT_BINARY_DIR}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT tools)
endforeach()

# eq-server as a service: the unit (installed, not enabled) and its configuration file, which goes
# to /etc for an install under /usr (the packages), to <prefix>/etc otherwise, decided when
# installing since CPack installs under /usr whatever the configured prefix.
if(ZAV_BUILD_SERVER)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/eq-server.service
            DESTINATION lib/systemd/system COMPONENT tools)
    install(CODE "
        set(zav_etc \"\${CMAKE_INSTALL_PREFIX}/etc\")
        if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
            set(zav_etc /etc)
        endif()
        file(INSTALL DESTINATION \"\${zav_etc}/eq-server\" TYPE FILE
             FILES \"${PROJECT_SOURCE_DIR}/packaging/eq-server.conf\")
    " COMPONENT tools)
endif()
