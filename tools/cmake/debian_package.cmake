# Tovinel: the Linux tovinel-check as a Debian package (cpack in the native build folder). Its
# dependencies are not written here: dpkg-shlibdeps reads them from the binary, so the package names
# exactly the libarchive, libudfread and libcrypto that the build linked and refuses to install where
# they are missing.
install(TARGETS tovinel-check RUNTIME DESTINATION bin)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION share/doc/tovinel-check RENAME copyright)
install(FILES ${PROJECT_SOURCE_DIR}/docs/check-findings.md ${PROJECT_SOURCE_DIR}/docs/tovinel-check.schema.json
        DESTINATION share/doc/tovinel-check)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tovinel-check)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Tovinel authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "checks a distribution medium for the Tovinel launcher before it is burnt")
set(CPACK_PACKAGE_DESCRIPTION "Reads a medium folder or a disc image as each Windows will (its UDF, Joliet or
ISO 9660 names), tells what each Windows does when the medium goes in, plays the
launcher's decision on a machine described on the command line and lists what
is likely wrong, each finding with its file, line and a stable id;
--format=json for pipelines.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tests run the build's binary; the package holds it without its debugging symbols.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
