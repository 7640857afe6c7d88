#!/usr/bin/env bash
# Builds the Debian package dist/glossmark_VERSION_ARCH.deb: the program alone, built with
# Debian's hardening flags into build-package/ (or $GLOSSMARK_PACKAGE_BUILD_DIR) and packed by
# CPack from the same install rules as `cmake --install`; Depends come from dpkg-shlibdeps.
# Install it with: sudo apt-get install ./dist/glossmark_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${GLOSSMARK_PACKAGE_BUILD_DIR:-$root/build-package}
"$root/scripts/deps.sh"
GLOSSMARK_BUILD_DIR=$build "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DGLOSSMARK_TESTS=OFF -DGLOSSMARK_BENCH=OFF -DGLOSSMARK_SANITIZE=OFF -DGLOSSMARK_FUZZ=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"

rm -rf "$build/cpack"
(cd "$build" && cpack -G DEB -B "$build/cpack" >"$build/cpack.log" 2>&1) ||
  { cat "$build/cpack.log" >&2; exit 1; }
debs=("$build"/cpack/glossmark_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "package.sh: no package was made" >&2; exit 1; }
# Without dpkg-shlibdeps CPack would still make a package, one that installs without its libraries.
depends=$(dpkg-deb -f "${debs[0]}" Depends)
case $depends in
  *libfltk1.3*) ;;
  *) echo "package.sh: Depends lacks the toolkit: '$depends'" >&2; exit 1 ;;
esac
mkdir -p "$root/dist"
rm -f "$root"/dist/glossmark_*.deb
cp "${debs[0]}" "$root/dist/"
echo "$root/dist/$(basename "${debs[0]}")"
