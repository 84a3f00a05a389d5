#!/usr/bin/env bash
# Fills DIR with MIB MiB of this machine's program files (the larger files under /usr/lib and
# /usr/bin, in sorted order), cut into pieces of PIECE_MIB MiB: realistic data for packing, of
# which about half compresses away. The benchmark scripts share it.
# usage: bench/program_files.sh DIR MIB [PIECE_MIB]   (pieces of 16 MiB by default)
set -euo pipefail
dir="$1"
mib="$2"
piece_mib="${3:-16}"
mkdir -p "$dir"
# (head ends the pipe early on purpose, so the pipe's status is not looked at)
set +o pipefail
find /usr/lib /usr/bin -type f -size +64k -size -8M 2>/dev/null | sort | head -n 4000 |
  xargs cat 2>/dev/null | head -c $((mib << 20)) | split -b "${piece_mib}M" - "$dir/data-"
set -o pipefail
