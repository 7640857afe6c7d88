# The Debian package (./scripts/package.sh): CPack's DEB generator packs exactly what the
# install rules put in place, and dpkg-shlibdeps reads Depends from the binary. Chosen over a
# debian/ folder so that `cmake --install` and the package cannot drift apart, and no
# debhelper or second build is needed.
# The addresses use a placeholder domain until the project has its own.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glossmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "tag ranges of plain text files with highlight styles and notes")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Glossmark shows a plain text file read-only and lets you attach tags to
ranges of it: one of 58 highlight styles, the time the tag was made and an
optional note. Tagged text is painted in its style; resting the pointer on
it shows the note.
.
All tags of a document live in a side file, the document path followed
by .tag; the document itself is never written. Tags can be listed and
searched in a sidebar, and tag actions can be undone and redone.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Glossmark maintainers <maintainers@glossmark.example.org>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://glossmark.example.org/")
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# "Open uri with external program" hands the address to xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
