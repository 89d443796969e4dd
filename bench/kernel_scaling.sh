#!/usr/bin/env bash
# How the in-process kernels scale from one core to every core: runs a
# Google Benchmark binary of bench/ in turn with one thread on one processor
# (KW_THREADS=1 taskset -c 0) and with every thread, ROUNDS times, and
# prints per benchmark the median rate of each and the median of the
# per-round ratios.  Taking the two in turn, round after round, keeps a
# neighbour's load on a shared machine from landing on one side only.
#   bench/kernel_scaling.sh [BENCH] [ROUNDS] [FILTER]
#   defaults: build/bin/proclib_neighbour_bench, 5, every benchmark
# (build with -DKW_BUILD_BENCH=ON first).
set -euo pipefail
BENCH=$(readlink -f "${1:-build/bin/proclib_neighbour_bench}")
ROUNDS=${2:-5}
FILTER=${3:-.}
ALL=$(nproc)
work=$(mktemp -d "${TMPDIR:-/tmp}/kw_scaling.XXXXXX")
trap 'rm -rf "$work"' EXIT

# name,rate lines of one run (rate in Mpixel/s from items_per_second)
rates() {
  "$@" --benchmark_filter="$FILTER" --benchmark_format=csv 2>/dev/null |
    awk -F, '/^"BM_/ { gsub(/"/, "", $1); sub(/\/real_time$/, "", $1);
                       if ($7 != "") printf "%s,%.1f\n", $1, $7 / 1e6 }'
}

for r in $(seq 1 "$ROUNDS"); do
  echo "round $r of $ROUNDS ($(cut -d' ' -f1-3 /proc/loadavg) load)" >&2
  KW_THREADS=1 rates taskset -c 0 "$BENCH" > "$work/one_$r"
  KW_THREADS=$ALL rates "$BENCH" > "$work/all_$r"
done

echo "| benchmark | one core, Mpixel/s | $ALL cores, Mpixel/s | ratio (median of $ROUNDS rounds) | lowest ratio |"
echo "|---|---|---|---|---|"
for f in "$work"/one_*; do
  r=${f##*_}
  join -t, <(sort "$f") <(sort "$work/all_$r") | sed "s/^/$r,/"
done | awk -F, '
  function median(s,   a, n, i, j, t) {
    n = split(s, a, " ")
    for (i = 2; i <= n; ++i) for (j = i; j > 1 && a[j - 1] + 0 > a[j] + 0; --j) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  { name = $2; if (!(name in one)) order[++count] = name
    one[name] = one[name] " " $3; all[name] = all[name] " " $4; ratio[name] = ratio[name] " " $4 / $3
    if (!(name in low) || $4 / $3 < low[name]) low[name] = $4 / $3 }
  END { for (i = 1; i <= count; ++i) { n = order[i]
          printf "| %s | %.0f | %.0f | %.2f | %.2f |\n", n, median(one[n]), median(all[n]), median(ratio[n]), low[n] } }'
