# Debian packages with CPack (cpack -G DEB in the build folder, or the packages target):
#   libzaveventquerysvcs5        runtime: library, component, message catalog, schemas
#   libzaveventquerysvcs-dev     headers, pkg-config file, CMake package, examples, documentation
#   zav-eventquery-tools         zavsign, and eq-query and eq-server when the build has them
# Dependencies on other packages come from dpkg-shlibdeps. Binaries are stripped in CPack's
# staging folder (packaging/strip_packages.cmake), all but the component, which the build
# stripped before signing it: its embedded signature stays as the build made it. Each package
# carries its copyright and changelog.Debian.gz; lintian checks them (tests/install).
include_guard(GLOBAL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zaveventquerysvcs)
set(CPACK_PACKAGE_VENDOR "zav")
set(CPACK_PACKAGE_CONTACT "zav maintainers <maintainers@zav.example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES OFF)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/strip_packages.cmake)
set(CPACK_ZAV_OBJCOPY ${CMAKE_OBJCOPY})
set(CPACK_ZAV_READELF ${CMAKE_READELF})

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
# eq-query opens the library at run time.
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SOURCE zaveventquerysvcs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://schemas.zav.example.org")
# The architecture of what was compiled, not of the machine that packs it.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)
else()
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
endif()

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libzaveventquerysvcs5)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "Event query client library (runtime)\nlibzavEventQuerySvcs5.so asks an Event Query Server for vulnerabilities and\nobservances; it loads the signed session configuration component installed\nbeside it.")
# A package linking the library gets its dependency from dpkg-shlibdeps through a symbols file:
# a SONAME without a version after ".so" cannot be named in a shlibs file. Every export came
# with 5.0.0. The linker cache is rebuilt by libc-bin's ldconfig trigger: CPack writes a postinst
# and a postrm calling ldconfig unless the package lists its own, so it lists two that do not
# exist (CPack warns and packs neither).
file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/zavEventQuerySvcs.map zav_map_lines REGEX "^ +EQ_[A-Za-z]+;")
set(zav_symbols "libzavEventQuerySvcs5.so libzaveventquerysvcs5 #MINVER#\n")
string(APPEND zav_symbols " Version_5.0@Version_5.0 5.0.0\n")
foreach(line ${zav_map_lines})
    string(STRIP "${line}" name)
    string(REPLACE ";" "" name "${name}")
    string(APPEND zav_symbols " ${name}@Version_5.0 5.0.0\n")
endforeach()
# The component is opened with dlopen, but it is a shared library of the package all the same:
# its entry points (unversioned) are the ones the SCS_ header lists.
file(READ ${PROJECT_SOURCE_DIR}/src/services/zavSessionConfigSvcs.h zav_scs_header)
string(REGEX MATCHALL "X\\([A-Z]+, *SCS_[A-Za-z0-9_]+" zav_scs_entries "${zav_scs_header}")
string(APPEND zav_symbols "libzavSessionConfigSvcs5.so libzaveventquerysvcs5 #MINVER#\n")
foreach(entry IN LISTS zav_scs_entries)
    string(REGEX MATCH "SCS_[A-Za-z0-9_]+" name "${entry}")
    string(APPEND zav_symbols " ${name}@Base 5.0.0\n")
endforeach()
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/debian/symbols CONTENT "${zav_symbols}")
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/debian/triggers CONTENT "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/symbols
    ${PROJECT_BINARY_DIR}/debian/triggers ${PROJECT_BINARY_DIR}/debian/none/postinst
    ${PROJECT_BINARY_DIR}/debian/none/postrm)

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libzaveventquerysvcs-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION
    "Event query client library (development files)\nHeader, pkg-config file, CMake package (zav::EventQuerySvcs), examples and\ndocumentation.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME zav-eventquery-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "Event query tools\nzavsign (signing keys and signatures), eq-query (command-line client) and\neq-server (reference Event Query Server), as far as the build has them.")

if(ZAV_BUILD_SERVER)
    file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/debian/tools/conffiles
         CONTENT "/etc/eq-server/eq-server.conf\n")
    set(CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/tools/conffiles)
endif()

# /usr/share/doc/<package>/: copyright in Debian's machine-readable format with the text of
# LICENSE (MIT is "Expat" there), and a changelog.Debian.gz, compressed as dh does (gzip -9n).
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE zav_license_lines)
set(zav_copyright_line "")
set(zav_license_text "")
foreach(line IN LISTS zav_license_lines)
    if(line MATCHES "^Copyright \\(c\\) (.*)$")
        set(zav_copyright_line "${CMAKE_MATCH_1}")
    elseif(zav_copyright_line STREQUAL "")
        # The title and the notice go to their own fields.
    elseif(line STREQUAL "")
        if(NOT zav_license_text STREQUAL "")
            string(APPEND zav_license_text " .\n")
        endif()
    else()
        string(APPEND zav_license_text " ${line}\n")
    endif()
endforeach()
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/debian/copyright CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PROJECT_NAME}
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}

Files: *
Copyright: ${zav_copyright_line}
License: Expat

License: Expat
${zav_license_text}")
set(zav_deb_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
# The build's time, or SOURCE_DATE_EPOCH's for a reproducible build.
string(TIMESTAMP zav_package_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.Debian CONTENT
"${CPACK_DEBIAN_PACKAGE_SOURCE} (${zav_deb_version}) unstable; urgency=medium

  * Packages of ${PROJECT_NAME} ${PROJECT_VERSION}, built with CPack. The changes of the
    library itself are in CHANGELOG.md (libzaveventquerysvcs-dev).

 -- ${CPACK_PACKAGE_CONTACT}  ${zav_package_date}
")
execute_process(COMMAND gzip -9n -c ${PROJECT_BINARY_DIR}/debian/changelog.Debian
                OUTPUT_FILE ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz
                COMMAND_ERROR_IS_FATAL ANY)
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    string(TOUPPER ${component} upper)
    install(FILES ${PROJECT_BINARY_DIR}/debian/copyright
                  ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
            COMPONENT ${component})
    # What lintian may say of the package and why (packaging/lintian).
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${component})
endforeach()

include(CPack)
