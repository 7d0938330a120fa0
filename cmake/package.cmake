# The Debian package (make deb): the same install rules under /usr, its dependencies computed by
# dpkg-shlibdeps from the programs' own libraries, never listed by hand.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME extracteur)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Extracteur <dev@extracteur.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "extract e-mail addresses from text files into a check list")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Extracteur turns a text file into a check list, one entry per line, and keeps
the words that contain an at sign. The list is searched as you type,
ticked, copied, sorted and saved. The interface is in French.

extracteur-cli applies the same rules to files, folders and pipes for
scripts and batches.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Installed with DESTDIR under the final prefix, so that the menu entry names /usr/bin/extracteur.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR})
include(CPack)
