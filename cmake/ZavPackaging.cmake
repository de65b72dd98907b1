# Debian packages with CPack (cpack -G DEB in the build folder, or the packages target):
#   libzaveventquerysvcs5        runtime: library, component, message catalog, schemas
#   libzaveventquerysvcs-dev     headers, pkg-config file, CMake package, examples, documentation
#   zav-eventquery-tools         zavsign, and eq-query and eq-server when the build has them
# Dependencies on other packages come from dpkg-shlibdeps. The files are packed as built: the
# component keeps the signature the build gave it (nothing strips or rewrites it).
include_guard(GLOBAL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zaveventquerysvcs)
set(CPACK_PACKAGE_VENDOR "zav")
set(CPACK_PACKAGE_CONTACT "zav maintainers <maintainers@zav.example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES OFF)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
# eq-query opens the library at run time.
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
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
    "Event query client library (runtime)\nlibzavEventQuerySvcs5.so asks an Event Query Server for vulnerabilities and\nobservances; it loads the signed session configuration component installed beside it.")
# A package linking the library gets its dependency from dpkg-shlibdeps through a symbols file:
# a SONAME without a version after ".so" cannot be named in a shlibs file. Every export came
# with 5.0.0. (CPack adds the postinst and postrm that run ldconfig.)
file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/zavEventQuerySvcs.map zav_map_lines REGEX "^ +EQ_[A-Za-z]+;")
set(zav_symbols "libzavEventQuerySvcs5.so libzaveventquerysvcs5 #MINVER#\n")
string(APPEND zav_symbols " Version_5.0@Version_5.0 5.0.0\n")
foreach(line ${zav_map_lines})
    string(STRIP "${line}" name)
    string(REPLACE ";" "" name "${name}")
    string(APPEND zav_symbols " ${name}@Version_5.0 5.0.0\n")
endforeach()
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/debian/symbols CONTENT "${zav_symbols}")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/symbols)

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libzaveventquerysvcs-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION
    "Event query client library (development files)\nHeader, pkg-config file, CMake package (zav::EventQuerySvcs), examples and\ndocumentation.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME zav-eventquery-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "Event query tools\nzavsign (signing keys and signatures), eq-query (command-line client) and\neq-server (reference Event Query Server), as far as the build has them.")

include(CPack)
