#!/usr/bin/env bash
# Makes the ISO-8859-1 locale the conversion tests run in (Debian ships none compiled).
set -euo pipefail
if ! locale -a 2>/dev/null | grep -qi '^en_US\.iso88591$'; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO localedef -i en_US -f ISO-8859-1 en_US.ISO-8859-1
fi
