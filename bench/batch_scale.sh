#!/usr/bin/env bash
# Batch throughput of KW --run: N pictures of 2000 x 1500 (JPEG, made by
# ImageMagick), each converted by one KW --run of a five-step script
# (colour scaling, gamma, sharpening mask, median, resize to 1000 x 750,
# saved as JPEG), first one after another and then over all cores with
# xargs -P.  Prints both times, the speed-up, and checks that both ways gave
# the same bytes.
#   bench/batch_scale.sh [KW] [N] [JOBS]    defaults: build/bin/KW, 200, nproc
set -euo pipefail
KW=$(readlink -f "${1:-build/bin/KW}")
N=${2:-200}
JOBS=${3:-$(nproc)}
CONVERT=/usr/bin/convert
work=$(mktemp -d "${TMPDIR:-/tmp}/kw_batch_scale.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir in seq par

echo "making $N pictures of 2000 x 1500 in $work ..."
"$CONVERT" -seed 1 -size 2000x1500 plasma:fractal -blur 0x1 base.png
for i in $(seq 1 "$N"); do
  "$CONVERT" base.png -roll "+$((i * 37))+$((i * 23))" -quality 90 "in/p$i.jpg"
done

cat > five.kws <<'KWS'
; One picture: colour, gamma, sharpening, median, half size; JPEG out.
STRING IN
STRING OUT
IMAGE A
GETARGUMENT IN 1
GETARGUMENT OUT 2
OPEN A IN
= KWRGB.RED 1.1
= KWRGB.BLUE 0.9
EXECFILTER KWRGB A
= GAMMA.GAMMA 1.2
EXECFILTER Gamma A
= MASK.RANGE 1
= MASK.OPERATION 4
EXECFILTER Mask A
= MEDIAN.RANGE 0
EXECFILTER Median A
= RESIZE.WIDTH 1000
= RESIZE.HEIGHT 750
= RESIZE.METHOD 1
EXECFILTER Resize A
SAVE A OUT
KWS

export KW QT_QPA_PLATFORM=offscreen
run_one() { "$KW" --run five.kws "in/$2.jpg" "$1/$2.jpg"; }
export -f run_one

names() { for i in $(seq 1 "$N"); do echo "p$i"; done; }

t0=$(date +%s.%N)
names | xargs -n1 -P1 bash -c 'run_one seq "$0"'
t1=$(date +%s.%N)
names | xargs -n1 -P"$JOBS" bash -c 'run_one par "$0"'
t2=$(date +%s.%N)

for i in $(seq 1 "$N"); do cmp -s "seq/p$i.jpg" "par/p$i.jpg" || { echo "p$i differs"; exit 1; }; done
awk -v a="$t0" -v b="$t1" -v c="$t2" -v n="$N" -v j="$JOBS" 'BEGIN {
  s = b - a; p = c - b;
  printf "%d pictures, one after another: %.1f s (%.2f s each)\n", n, s, s / n;
  printf "%d pictures, %d at once:        %.1f s (%.2f s each)\n", n, j, p, p / n;
  printf "speed-up: %.2f on %d cores; outputs identical\n", s / p, j;
}'
