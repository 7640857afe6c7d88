#!/usr/bin/env bash
# Installs what Glossmark needs from Debian's packages (--with-tests: and what the tests
# need; --with-bench: and the texts of the benchmarks too). Safe to run again: it only calls
# apt-get when something is missing.
set -euo pipefail

build_pkgs=(g++ cmake make libfltk1.3-dev libx11-dev libxxhash-dev nlohmann-json3-dev)
# The theme icons are written as PNG; CPack finds the binaries with file and reads the
# .deb's Depends from them with dpkg-shlibdeps.
build_pkgs+=(libpng-dev dpkg-dev file)
test_pkgs=(googletest libgtest-dev libbenchmark-dev xvfb xauth xdotool x11-utils x11-apps
           imagemagick xclip locales clang libclang-rt-14-dev openbox
           chromium)
# Checks of the installed desktop files and manual page.
test_pkgs+=(desktop-file-utils appstream man-db)

# The texts of the re-anchoring accuracy benchmark (scripts/make-anchor-corpus.sh): manual
# pages rendered as text and a book-length text.
bench_pkgs=(man-db groff-base jargon-text)

want=("${build_pkgs[@]}")
for arg in "$@"; do
  case $arg in
    --with-tests) want+=("${test_pkgs[@]}") ;;
    --with-bench) want+=("${test_pkgs[@]}" "${bench_pkgs[@]}") ;;
  esac
done

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
