# The Debian package tavisk_<version>_<arch>.deb, made by CPack from the install rules:
# `cpack -G DEB` in a built tree (scripts/package configures one for it). Its dependencies
# are computed from the shared libraries by dpkg-shlibdeps (package dpkg-dev).

set(TAVISK_APP_ID org.vorka.Tavisk)
set(TAVISK_MAINTAINER "The Tavisk developers <tavisk@example.org>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavisk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tavisk developers")
set(CPACK_PACKAGE_CONTACT ${TAVISK_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# Installed folders are 0755 whatever the umask of the build.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${TAVISK_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop catalogue of the contents of CD-ROMs")
# CPack puts the summary on the first line of the description itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tavisk keeps a catalogue of the contents of your CD-ROMs and other volumes.
Insert a disc and add it: Tavisk walks the whole volume, the contents of
archive files included, and stores every entry's name, size, type and date in
a MariaDB or MySQL database under a disc number that you write on the disc.
Later, browse the catalogue as a tree of discs, directories and archives
beside a file list, or search every disc at once by words, name patterns and
dates.
.
The command tavisk-cli does the same from a shell or a script: it adds,
updates, deletes, lists, searches and exports discs, with CSV and JSON output.
.
Without a database server of your own, Tavisk starts a private MariaDB server
that only you can reach (packages mariadb-server-core and mariadb-client).
The interface is in English or French.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program's own libraries lie beside it; dpkg-shlibdeps is told where.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CPACK_PACKAGING_INSTALL_PREFIX}/${TAVISK_INSTALL_DIR})
# The dialogs are laid out with DejaVu Sans; Qt's translations give its own buttons in French.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
# The private catalogue server runs the server's and the client's programs. The package
# mariadb-server would also start a system-wide server whose root account refuses other
# users: it is a suggestion, for a catalogue shared between several users.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "mariadb-server-core, mariadb-client, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "mariadb-server")

# CPack adds postinst and postrm scripts that run ldconfig, for any library under /usr/lib,
# though the program's private folder needs none (lintian: maintscript-calls-ldconfig). It is
# harmless; replacing them with empty scripts would only trade that warning for another.
include(CPack)
