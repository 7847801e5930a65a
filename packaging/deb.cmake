# `make package`: one .deb with the tool, the tools, the driver stand-in and its
# registration, the desktop entry, the icons and the systemd examples.
# The service and timer for unattended runs, for an installer to copy and adjust.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/systemd/fernwick.service ${CMAKE_CURRENT_LIST_DIR}/systemd/fernwick.timer
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# The copyright file: the components the programs are built with and their licences, as the
# Windows installer has them.
file(GLOB licence_texts ${CMAKE_CURRENT_LIST_DIR}/licenses/*)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${licence_texts})
execute_process(COMMAND ${CMAKE_COMMAND} -DOUTPUT=${CMAKE_BINARY_DIR}/packaging/copyright
                -P ${CMAKE_CURRENT_LIST_DIR}/licenses/combine.cmake COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fernwick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "KELDO-FERNWICK developers <fernwick@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keeps a guard-tour server in step with the guard-tour Access database")
set(CPACK_PACKAGE_DESCRIPTION "Reads checkpoints, route stops and plans over ODBC, keeps a local SQLite
snapshot, posts each kind to the server named in sys.ini and logs every answer. Carries a
read-only ODBC driver that opens guard-tour databases under the Access driver's names.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX ${CPACK_PACKAGING_INSTALL_PREFIX})
# Staged with DESTDIR, so that installing into the package never registers the driver on
# the machine that builds it.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# What the binaries link comes from dpkg-shlibdeps; what is only loaded or run is named:
# Qt's ODBC and SQLite plugins, and odbcinst for the maintainer scripts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5sql5-odbc, libqt5sql5-sqlite, unixodbc, odbcinst")

set(FERNWICK_PACKAGE_REGISTRATION
    ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/fernwick/odbcinst.ini)
configure_file(${CMAKE_CURRENT_LIST_DIR}/deb/postinst.in ${CMAKE_BINARY_DIR}/packaging/postinst @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/deb/prerm.in ${CMAKE_BINARY_DIR}/packaging/prerm @ONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/postinst ${CMAKE_BINARY_DIR}/packaging/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
