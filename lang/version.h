/* The version of Tavisk, written here only. The language modules' version blocks and About
   boxes take it from here, and the build reads it for the project version, the Debian
   package, the desktop metadata and the manual page. */
#ifndef TAVISK_LANG_VERSION_H
#define TAVISK_LANG_VERSION_H

#define TAVISK_VERSION_MAJOR 2
#define TAVISK_VERSION_MINOR 21
#define TAVISK_VERSION_TEXT "2.21"

#endif
