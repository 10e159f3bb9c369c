# Installation and packaging. `cmake --install BUILD --prefix PREFIX` puts in place the module
# with its soname link, the headers a host compiles against, a CMake package
# (find_package(TesrPay5)) and a pkg-config file, the host program with its menu entry, icon and
# manual page, and the embedding example with its documentation. `make package` (CPack) wraps the
# same files into a Debian package for /usr.
include(CMakePackageConfigHelpers)

set(TESR_QT_VERSION 6.4)
set(TESR_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TesrPay5)
set(TESR_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tesrpay5) # Debian's /usr/share/doc/<package>
set(_pkg ${PROJECT_SOURCE_DIR}/packaging)

# The host finds the module beside it wherever the tree is installed: under /usr from the
# package as much as in a private prefix.
set_target_properties(tesrhost PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")

install(TARGETS tesrpay5 tesrpay5_headers EXPORT TesrPay5Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tesrpay5)
install(TARGETS tesrhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(EXPORT TesrPay5Targets NAMESPACE TesrPay5:: DESTINATION ${TESR_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TesrPay5Config.cmake.in
  ${CMAKE_BINARY_DIR}/TesrPay5Config.cmake INSTALL_DESTINATION ${TESR_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/TesrPay5ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/TesrPay5Config.cmake ${CMAKE_BINARY_DIR}/TesrPay5ConfigVersion.cmake
  DESTINATION ${TESR_PACKAGE_DIR})

# pkg-config: the prefix is worked out from the file's own place, so the file stays right
# wherever the tree is installed.
file(RELATIVE_PATH TESR_PC_TO_PREFIX /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
string(REGEX REPLACE "/$" "" TESR_PC_TO_PREFIX "${TESR_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/tesrpay5.pc.in ${CMAKE_BINARY_DIR}/tesrpay5.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/tesrpay5.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The desktop: a menu entry, the icon in the hicolor sizes, the manual page.
install(FILES ${_pkg}/tesrhost.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_pkg}/icons/tesrhost.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY ${_pkg}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# Debian wants the manual page and the changelog compressed, without a time stamp.
set(_gz)
foreach(_file tesrhost.1 changelog)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/${_file}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${_pkg}/${_file} ${CMAKE_BINARY_DIR}/packaging/${_file}
    COMMAND gzip -9 -n -f ${CMAKE_BINARY_DIR}/packaging/${_file}
    DEPENDS ${_pkg}/${_file} VERBATIM)
  list(APPEND _gz ${CMAKE_BINARY_DIR}/packaging/${_file}.gz)
endforeach()
add_custom_target(tesr_packaging_files ALL DEPENDS ${_gz})
install(FILES ${CMAKE_BINARY_DIR}/packaging/tesrhost.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${_pkg}/copyright README.md docs/embedding.md
  DESTINATION ${TESR_DOC_DIR})
install(DIRECTORY examples/embedding DESTINATION ${TESR_DOC_DIR}/examples)

# The Debian package: the host and the module, for /usr. Dependencies on shared libraries are
# worked out by dpkg-shlibdeps; the SQLite driver is a Qt plugin, loaded by name, so it is named.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tesrpay5)
set(CPACK_PACKAGE_VENDOR Varnholt)
set(CPACK_PACKAGE_CONTACT "Varnholt <tesrpay5@varnholt.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "The payments module of a retail business-management application and its
desktop host. Records payments received from customers, spreads them over the
customers' open sales and orders, allocates earlier credit later, lists the
payments of a customer, of an order and the allocations of a payment, and
corrects a payment's details. The host works on a company database in SQLite,
PostgreSQL or SQL Server (through ODBC).
.
The package also holds what a host developer needs to embed the module: its
headers, a CMake package (find_package(TesrPay5)), a pkg-config file and an
example host.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_pkg}/triggers) # ldconfig runs when the module arrives
set(CPACK_PRE_BUILD_SCRIPTS ${_pkg}/deb-extras.cmake)
set(CPACK_TESR_PACKAGING_DIR ${_pkg})
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6sql6-sqlite)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql, libqt6sql6-odbc, tdsodbc, qt6-base-dev")
include(CPack)
