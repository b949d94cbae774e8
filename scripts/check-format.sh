#!/usr/bin/env bash
# Checks the C++ files against .clang-format. With a git revision, only the files changed since it
# (committed or not); without, every tracked C++ file.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -gt 0 ]; then
  mapfile -t files < <(git diff --name-only --diff-filter=d "$1" -- '*.cpp' '*.h')
else
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
fi
[ ${#files[@]} -eq 0 ] && exit 0
clang-format --dry-run -Werror "${files[@]}"
