#!/usr/bin/env bash
# The launcher's whole run against the same work done on the host by the tool.
#
# Builds an installer whose packages carry about 128 MiB of packed data (program files of this
# machine, packed with `tovalin pack`), then measures
#   - a launcher run under Wine, from its start until the engine starts (the stand-in engine
#     writes its start time and exits at once), with Wine's own start-up measured apart;
#   - `tovalin extract --unpack` of the same installer on the host.
# usage: bench/launcher_run.sh [MIB_OF_INPUT]   (default 320 MiB of input, about 128 MiB packed)
set -euo pipefail
cd "$(dirname "$0")/.."
input_mib="${1:-320}"

scripts/setup
cmake --preset bench >/dev/null && cmake --build --preset bench --target tovalin >/dev/null
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target launcher test_engine >/dev/null

work=build/bench-launcher
rm -rf "$work"
mkdir -p "$work/input"
tovalin=build/bench/tools/tovalin  # the Release build

# Real program files make realistic data: about half of it compresses away.
echo "== Gathering ${input_mib} MiB of program files"
# (head ends the pipe early on purpose, so the pipe's status is not looked at)
set +o pipefail
find /usr/lib /usr/bin -type f -size +64k -size -8M 2>/dev/null | sort | head -n 4000 |
  xargs cat 2>/dev/null | head -c $((input_mib << 20)) | split -b 16M - "$work/input/data-"
set -o pipefail

echo "== Packing"
start=$(date +%s.%N)
"$tovalin" pack -q -o "$work/temp.shr" "$work"/input/data-*
"$tovalin" pack -q -o "$work/inst32.shr" "~0000.exe=build/win32/tests/e2e/test_engine.exe"
printf 'script' >"$work/setup.cfg"
printf 'pif' >"$work/dosshell.pif"
"$tovalin" build -q -o "$work/setup.exe" --stub build/win32/launcher/launcher.exe \
  "$work/setup.cfg" "$work/temp.shr" "$work/inst32.shr" "$work/dosshell.pif"
end=$(date +%s.%N)
packed=$(stat -c %s "$work/temp.shr")
awk -v mib="$input_mib" -v bytes="$packed" -v s="$start" -v e="$end" \
  'BEGIN { printf "packed %d MiB of input into %.1f MiB in %.1f s\n", mib, bytes / 1048576, e - s }'

export WINEPREFIX="$PWD/build/bench-wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
tests/win32/make_prefix "$WINEPREFIX"
temp_dir=$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp)

seconds() { awk -v s="$1" -v e="$2" 'BEGIN { printf "%.3f", e - s }'; }

echo "== Wine's own start-up (the stand-in engine alone)"
start=$(date +%s.%N)
wine build/win32/tests/e2e/test_engine.exe
end=$(date +%s.%N)
wine_start=$(seconds "$start" "$end")
printf 'wine start-up: %.2f s\n' "$wine_start"

echo "== Launcher under Wine, until the engine starts"
rm -rf "$temp_dir"/AI*.tmp
record="$PWD/$work/engine.txt"
start=$(date +%s.%N)
TOVALIN_ENGINE_RECORD="Z:${record//\//\\}" wine "$work/setup.exe" /An
end=$(date +%s.%N)
launcher_total=$(seconds "$start" "$end")
test -s "$record" || { echo "the engine did not start"; exit 1; }
awk -v t="$launcher_total" -v w="$wine_start" \
  'BEGIN { printf "launcher run: %.2f s (%.2f s without Wine start-up, twice: launcher and engine)\n", t, t - 2 * w }'

echo "== tovalin extract --unpack on the host"
rm -rf "$work/out"
start=$(date +%s.%N)
"$tovalin" extract -q --unpack -d "$work/out" "$work/setup.exe"
end=$(date +%s.%N)
printf 'tovalin extract --unpack: %.2f s\n' "$(seconds "$start" "$end")"
