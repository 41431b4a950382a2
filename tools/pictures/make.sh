#!/usr/bin/env bash
# Builds the picture generator and writes every picture into res/.
# Pass picture names (e.g. "skin hall") to redo only those.
set -euo pipefail
TOP="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cmake -S "$TOP/tools/pictures" -B "$TOP/build-pictures" >/dev/null
cmake --build "$TOP/build-pictures" -j"$(nproc)" >/dev/null
"$TOP/build-pictures/pictures" "$TOP/res" "$@"
