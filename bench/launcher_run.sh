#!/usr/bin/env bash
# The launcher's whole run against the same work done on the host by the tool.
#
# Builds an installer whose packages carry about 128 MiB of packed data (program files of this
# machine, packed with `tovalin pack`), then measures, ROUNDS times in turn so that load on the
# machine falls on all alike,
#   - Wine's own start-up: the stand-in engine run alone (three times; the median);
#   - a launcher run under Wine, from its start until the engine starts (the stand-in engine
#     writes its start time and exits at once), in quiet mode (/An, no window) and in normal mode
#     (the progress dialog shown, on the X display: the script runs itself inside xvfb-run when
#     there is none). Less Wine's start-up it is the launcher's own work and the engine's start
#     inside the running Wine; less twice Wine's start-up, as if the engine's start cost a whole
#     start-up too, it is a lower bound of the launcher's own work;
#   - `tovalin extract --unpack` of the same installer on the host.
# Further launcher images (say, one built before a change) are timed on the same payload, in the
# same rounds.
# usage: bench/launcher_run.sh [MIB_OF_INPUT [ROUNDS [OTHER_LAUNCHER.exe ...]]]
#        (default 320 MiB of input, about 128 MiB packed; 3 rounds)
# TOVALIN_BENCH_BUILD=win64 times the launcher of the 64-bit build under Wine's 64-bit side, for
# machines that cannot run the 32-bit one (the shipped launcher, and the default: win32).
set -euo pipefail
cd "$(dirname "$0")/.."
# Normal mode needs a display; one virtual display serves the whole run, as Wine keeps the
# display its first program found.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
input_mib="${1:-320}"
rounds="${2:-3}"
shift $(($# < 2 ? $# : 2))
others=("$@")

scripts/setup
cmake --preset bench >/dev/null && cmake --build --preset bench --target tovalin >/dev/null
build="${TOVALIN_BENCH_BUILD:-win32}"
case "$build" in
  win32) ;;
  # Wine's 64-bit loader as `wine`, for wineboot too.
  win64) export PATH="$PWD/tests/win32/wine64:$PATH" WINEARCH=win64 ;;
  *) echo "TOVALIN_BENCH_BUILD is win32 or win64, not $build" >&2 && exit 2 ;;
esac
cmake --preset "$build" >/dev/null
cmake --build --preset "$build" --target launcher test_engine >/dev/null
engine="build/$build/tests/e2e/test_engine.exe"

work=build/bench-launcher
rm -rf "$work"
mkdir -p "$work/input"
tovalin=build/bench/tools/tovalin  # the Release build

echo "== Gathering ${input_mib} MiB of program files"
bench/program_files.sh "$work/input" "$input_mib"

echo "== Packing"
start=$(date +%s.%N)
"$tovalin" pack -q -o "$work/temp.shr" "$work"/input/data-*
"$tovalin" pack -q -o "$work/inst32.shr" "~0000.exe=$engine"
printf 'script' >"$work/setup.cfg"
printf 'pif' >"$work/dosshell.pif"
stubs=("build/$build/launcher/launcher.exe" "${others[@]}")
# One folder per launcher image: the install script is named after the launcher's own name.
for i in "${!stubs[@]}"; do
  mkdir -p "$work/run$i"
  "$tovalin" build -q -o "$work/run$i/setup.exe" --stub "${stubs[$i]}" \
    "$work/setup.cfg" "$work/temp.shr" "$work/inst32.shr" "$work/dosshell.pif"
done
end=$(date +%s.%N)
packed=$(stat -c %s "$work/temp.shr")
awk -v mib="$input_mib" -v bytes="$packed" -v s="$start" -v e="$end" \
  'BEGIN { printf "packed %d MiB of input into %.1f MiB in %.1f s\n", mib, bytes / 1048576, e - s }'

export WINEPREFIX="$PWD/build/bench-wineprefix$([ "$build" = win32 ] || echo "-$build")" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
tests/win32/make_prefix "$WINEPREFIX"
# The virtual display has no window manager. Wine hands its windows to one all the same, and
# then waits 2 s at each DestroyWindow for the manager to withdraw the window: a cost of that
# display, not of the program, which unmanaged windows do not pay.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
temp_dir=$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp)
record="$PWD/$work/engine.txt"

seconds() { awk -v s="$1" -v e="$2" 'BEGIN { printf "%.3f", e - s }'; }

results="$work/results.txt"
: >"$results"
for round in $(seq "$rounds"); do
  echo "== Round $round of $rounds"
  starts=()
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    wine "$engine"
    end=$(date +%s.%N)
    starts+=("$(seconds "$start" "$end")")
  done
  wine_start=$(printf '%s\n' "${starts[@]}" | sort -n | sed -n 2p)
  printf 'wine start-up: %.2f s (of %s)\n' "$wine_start" "${starts[*]}"
  echo "wine $wine_start" >>"$results"

  for i in "${!stubs[@]}"; do
    for mode in quiet normal; do
      mode_arguments=()
      [ "$mode" = quiet ] && mode_arguments=(/An)
      rm -rf "$temp_dir"/AI*.tmp "$record"
      start=$(date +%s.%N)
      TOVALIN_ENGINE_RECORD="Z:${record//\//\\}" wine "$work/run$i/setup.exe" "${mode_arguments[@]}"
      end=$(date +%s.%N)
      test -s "$record" || { echo "the engine did not start"; exit 1; }
      total=$(seconds "$start" "$end")
      printf 'launcher run, %s mode (%s): %.2f s\n' "$mode" "${stubs[$i]}" "$total"
      echo "launcher$i-$mode $total" >>"$results"
    done
  done

  rm -rf "$work/out"
  start=$(date +%s.%N)
  "$tovalin" extract -q --unpack -d "$work/out" "$work/run0/setup.exe"
  end=$(date +%s.%N)
  extract=$(seconds "$start" "$end")
  printf 'tovalin extract --unpack: %.2f s\n' "$extract"
  echo "extract $extract" >>"$results"
done

echo "== Medians of $rounds rounds ($build build under Wine)"
median() {
  awk -v key="$1" '$1 == key { print $2 }' "$results" | sort -n |
    awk '{ v[NR] = $1 } END { printf "%.2f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
extract_median=$(median extract)
wine_median=$(median wine)
printf 'tovalin extract --unpack: %s s; Wine start-up: %s s\n' "$extract_median" "$wine_median"
for i in "${!stubs[@]}"; do
  for mode in quiet normal; do
    total=$(median "launcher$i-$mode")
    awk -v t="$total" -v w="$wine_median" -v x="$extract_median" -v name="${stubs[$i]}" -v mode="$mode" 'BEGIN {
      printf "launcher run, %s mode (%s): %.2f s; less one Wine start-up %.2f s (%.2f x the extract),", mode, name, t, t - w, (t - w) / x
      printf " less two %.2f s (%.2f x)\n", t - 2 * w, (t - 2 * w) / x
    }'
  done
  awk -v q="$(median "launcher$i-quiet")" -v n="$(median "launcher$i-normal")" -v w="$wine_median" \
    -v name="${stubs[$i]}" 'BEGIN {
    printf "normal against quiet mode (%s), less two Wine start-ups each: %.2f x\n", name, (n - 2 * w) / (q - 2 * w)
  }'
done
