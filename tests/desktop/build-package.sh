#!/bin/sh
# Builds the Debian package from the built tree with cpack (which builds nothing that is
# already built) and unpacks it: build-package.sh CPACK BUILD_DIR OUT_DIR
# leaves OUT_DIR/tavisk_<version>_<arch>.deb and OUT_DIR/root/ (the unpacked files).
set -eu
cpack=$1 build=$2 out=$3
rm -rf "$out"
mkdir -p "$out"
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || {
    cat "$out/cpack.log"
    exit 1
}
set -- "$out"/tavisk_*.deb
[ -f "$1" ] || { echo "build-package.sh: cpack made no package" >&2; exit 1; }
dpkg-deb -x "$1" "$out/root"
echo "$1"
