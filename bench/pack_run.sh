#!/usr/bin/env bash
# `tovalin pack` (the Release build) at both levels, on one thread and on one per processor:
#   - MIB MiB of this machine's program files in pieces of 16 MiB (the launcher benchmark's
#     input), at the default level and with --best, with -j 1 and with the default -j;
#   - eight files of 4 MiB, -j 1 against the default -j, ROUNDS times in turn.
# Each line gives the wall time, MiB/s of input, the package's size and the peak memory. Another
# tovalin (say, one built before a change) is timed on the same input with its own defaults.
# usage: bench/pack_run.sh [MIB [ROUNDS [OTHER_TOVALIN]]]   (default 320 MiB, 0 for the eight
#        files alone; 3 rounds)
set -euo pipefail
cd "$(dirname "$0")/.."
input_mib="${1:-320}"
rounds="${2:-3}"
other="${3:-}"

scripts/setup
cmake --preset bench >/dev/null && cmake --build --preset bench --target tovalin >/dev/null
tovalin=build/bench/tools/tovalin

work=build/bench-pack
rm -rf "$work"
echo "== Gathering ${input_mib} MiB of program files, and eight pieces of 4 MiB"
[ "$input_mib" -gt 0 ] && bench/program_files.sh "$work/input" "$input_mib"
bench/program_files.sh "$work/eight" 32 4
echo "processors: $(nproc)"

# Runs tovalin pack with the given arguments; prints seconds, MiB/s of the input, the
# package's size and the peak resident memory of the tool.
pack() {
  run_pack "$tovalin" "$@"
}

run_pack() {
  local tool="$1" label="$2" input_bytes="$3"
  shift 3
  rm -f "$work/out.shr"
  python3 - "$label" "$input_bytes" "$work/out.shr" "$tool" pack -q -o "$work/out.shr" "$@" <<'PY'
import os, resource, subprocess, sys, time
label, input_bytes, output = sys.argv[1], int(sys.argv[2]), sys.argv[3]
start = time.monotonic()
subprocess.run(sys.argv[4:], check=True)
seconds = time.monotonic() - start
peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
print("%-22s %7.2f s  %6.1f MiB/s  %11d bytes  peak %5.1f MiB" % (
    label, seconds, input_bytes / seconds / 1048576, os.path.getsize(output), peak_kib / 1024))
PY
}

if [ "$input_mib" -gt 0 ]; then
input_bytes=$(cat "$work"/input/data-* | wc -c)
echo "== ${input_mib} MiB of program files"
pack "default level, -j 1" "$input_bytes" -j 1 "$work"/input/data-*
pack "default level" "$input_bytes" "$work"/input/data-*
pack "--best, -j 1" "$input_bytes" --best -j 1 "$work"/input/data-*
pack "--best" "$input_bytes" --best "$work"/input/data-*
if [ -n "$other" ]; then
  run_pack "$other" "$other" "$input_bytes" "$work"/input/data-*
fi
fi

eight_bytes=$(cat "$work"/eight/data-* | wc -c)
echo "== Eight files of 4 MiB"
for round in $(seq "$rounds"); do
  pack "-j 1" "$eight_bytes" -j 1 "$work"/eight/data-*
  pack "default -j" "$eight_bytes" "$work"/eight/data-*
done | tee "$work/eight.txt"
awk '{ t = $(NF - 8) } /^-j 1/ { one[++n1] = t } /^default -j/ { all[++n2] = t }
  function median(v, n,    i, j, x) {
    for (i = 2; i <= n; ++i) for (j = i; j > 1 && v[j - 1] > v[j]; --j) { x = v[j]; v[j] = v[j - 1]; v[j - 1] = x }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  END { a = median(one, n1); b = median(all, n2)
        printf "median: -j 1 %.2f s, default -j %.2f s: %.2f x as fast\n", a, b, a / b }' "$work/eight.txt"
