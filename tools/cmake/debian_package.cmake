# Tovinel: the Linux tovinel-check and tovinel-brand as a Debian package (cpack in the native build
# folder). Its dependencies are not written here: dpkg-shlibdeps reads them from the binaries, so the
# package names exactly the libarchive, libudfread, libcrypto and libpng that the build linked and
# refuses to install where they are missing.
install(TARGETS tovinel-check tovinel-brand RUNTIME DESTINATION bin)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION share/doc/tovinel-check RENAME copyright)
install(FILES ${PROJECT_SOURCE_DIR}/docs/check-findings.md ${PROJECT_SOURCE_DIR}/docs/tovinel-check.schema.json
        DESTINATION share/doc/tovinel-check)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tovinel-check)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Tovinel authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "checks a distribution medium for the Tovinel launcher, and brands the launcher")
set(CPACK_PACKAGE_DESCRIPTION "tovinel-check reads a medium folder or a disc image as each Windows will (its
UDF, Joliet or ISO 9660 names), tells what each Windows does when the medium
goes in, plays the launcher's decision on a machine described on the command
line and lists what is likely wrong, each finding with its file, line and a
stable id; --format=json for pipelines.
tovinel-brand gives a built tovinel.exe a publisher's icon (from a PNG or an
.ico) and version texts, changing nothing but its resources, which it proves
section by section before it writes.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The tests run the build's binary; the package holds it without its debugging symbols.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
