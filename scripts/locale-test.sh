#!/usr/bin/env bash
# Runs a test program under another locale: locale-test.sh <locale> <program> [arguments].
# Exits 77 (skipped) when the locale is not generated.
set -euo pipefail
wanted=$1
shift
normalised=$(echo "$wanted" | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/')
if ! locale -a 2>/dev/null | tr 'A-Z' 'a-z' | grep -qx "$normalised"; then
  echo "the locale $wanted is not generated (scripts/install-deps.sh generates it): skipped"
  exit 77
fi
LC_ALL=$wanted exec "$@"
