#!/usr/bin/env bash
# The decoder users run against the one the codec benchmark measures, in one run.
#
# Decodes the codec benchmark's streams (4 MiB of text and 4 MiB of machine code, dictionary
# 4096, made by our encoder's --best level) with
#   - our decoder, x86-64 host build (Release), and StormLib's explode on the same streams;
#   - our decoder as launcher.exe links it: the win32 preset's i686 objects with the stub's
#     flags (-Os), under Wine;
#   - for comparison, the same decoder source built for i686 with -O2, under Wine.
# The programs take turns, ROUNDS times, so that load on the machine falls on all of them alike;
# the table shows the median and the best round of each, in MiB/s of output. Further Win32
# programs built from shipped_decoder_bench.cpp (say, against the decoder before a change) take
# their turns too and get a line each.
# usage: bench/shipped_decoder.sh [ROUNDS [OTHER_BENCH.exe ...]]   (default 7)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds="${1:-7}"
shift $(($# < 1 ? $# : 1))
others=("$@")

scripts/setup
cmake --preset bench >/dev/null && cmake --build --preset bench --target implode_bench >/dev/null
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target shipped_decoder_bench decoder_o2_bench >/dev/null

work=build/bench-decoder
rm -rf "$work"
mkdir -p "$work"
build/bench/bench/implode_bench --write-streams "$work"

export WINEPREFIX="$PWD/build/bench-wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
tests/win32/make_prefix "$WINEPREFIX"
streams="Z:${PWD//\//\\}\\${work//\//\\}"

results="$work/results.txt"
: >"$results"
for round in $(seq "$rounds"); do
  echo "== round $round of $rounds" >&2
  # Google Benchmark's CSV: name,iterations,real_time,cpu_time,time_unit,bytes_per_second,...
  build/bench/bench/implode_bench --benchmark_filter='BM_Decode' --benchmark_format=csv \
    2>/dev/null | awk -F, '
      /^"BM_Decode/ {
        name = $1; gsub(/"/, "", name)
        program = name ~ /StormLib/ ? "stormlib" : "host"
        stream = name ~ /sample:1/ ? "code/binary" : (name ~ /ascii:1/ ? "text/ascii" : "text/binary")
        printf "%s %s %.1f\n", program, stream, $6 / 1048576
      }' >>"$results"
  # Five rounds of half a second each; their median.
  programs=(shipped o2)
  exes=(build/win32/bench/shipped_decoder_bench.exe build/win32/bench/decoder_o2_bench.exe)
  for i in "${!others[@]}"; do
    programs+=("other$i")
    exes+=("${others[$i]}")
  done
  for i in "${!programs[@]}"; do
    wine "${exes[$i]}" "$streams" 5 | tr -d '\r' |
      awk -v p="${programs[$i]}" '{ print p, $1, $2 }' >>"$results"
  done
done

echo
echo "MiB/s of output, median (best) of $rounds rounds"
awk '
  { values[$1 " " $2] = values[$1 " " $2] " " $3 }
  function stat(key, which,    list, n, i, j, t) {
    n = split(values[key], list, " ")
    for (i = 2; i <= n; ++i)
      for (j = i; j > 1 && list[j - 1] + 0 > list[j] + 0; --j) { t = list[j]; list[j] = list[j - 1]; list[j - 1] = t }
    return which == "best" ? list[n] : list[int((n + 1) / 2)]
  }
  function cell(program, stream) {
    return sprintf("%6.1f (%5.1f)", stat(program " " stream, "median"), stat(program " " stream, "best"))
  }
  END {
    printf "%-12s  %-15s  %-15s  %-15s  %-15s  %s\n", "stream", "host x86-64", "StormLib x86-64",
      "shipped i686", "i686 -O2", "shipped / StormLib"
    split("text/binary text/ascii code/binary", order, " ")
    for (s = 1; s <= 3; ++s) {
      stream = order[s]
      printf "%-12s  %-15s  %-15s  %-15s  %-15s  %.2f\n", stream, cell("host", stream),
        cell("stormlib", stream), cell("shipped", stream), cell("o2", stream),
        stat("shipped " stream, "median") / stat("stormlib " stream, "median")
    }
    split(names, name_list, " ")
    for (o = 0; o < others; ++o) {
      printf "%s, i686 under Wine:\n", name_list[o + 1]
      for (s = 1; s <= 3; ++s) {
        stream = order[s]
        printf "%-12s  %-15s  %.2f x StormLib\n", stream, cell("other" o, stream),
          stat("other" o " " stream, "median") / stat("stormlib " stream, "median")
      }
    }
  }' others="${#others[@]}" names="${others[*]:-}" "$results"
