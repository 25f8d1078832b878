#!/usr/bin/env bash
# format.sh [--check]
# Formats every C++ source of the tree with .clang-format, or with --check
# lists the files that differ from it and exits non-zero. Installs
# clang-format where it is missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
if ! command -v clang-format >/dev/null 2>&1; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends clang-format >/dev/null
fi
# Tracked sources where this is a git checkout, every source otherwise.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
else
  mapfile -t files < <(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||')
fi
if [ "${1:-}" = --check ]; then
  bad=()
  for f in "${files[@]}"; do
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
  done
  if [ ${#bad[@]} -gt 0 ]; then
    printf 'not formatted by .clang-format: %s\n' "${bad[@]}"
    echo "tools/format.sh formats them."
    exit 1
  fi
else
  clang-format -i "${files[@]}"
fi
