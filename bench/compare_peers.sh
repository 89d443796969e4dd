#!/usr/bin/env bash
# Whole-process comparison of `KW --run` with ImageMagick (convert),
# GraphicsMagick (gm) and libvips (vips) on a 6000 x 4000 photo-like image.
#
# Every row does the same work in each program, as a whole process, with its
# input and output on a RAM disk: start-up, reading, processing and writing
# all count.  Each command runs once to warm up and then RUNS times; the
# table shows the median wall time, the ratio of KW to the fastest peer, and
# the peak resident memory and system time of the median KW run.  All of it
# is done with every core and again on one core (taskset -c 0).
#
#   bench/compare_peers.sh                      (from the repository)
#   RUNS=3 ROWS="negative png" bench/compare_peers.sh
#
# Environment:
#   KW      the program (default: build/bin/KW of this repository)
#   KW_BEFORE  another build's program (e.g. a copy of main's build/bin made
#           before a change), measured in the same run as an extra column
#   RUNS    timed runs per command (default 5)
#   WORK    working folder on a RAM disk (default /dev/shm/kw-compare); the
#           generated inputs are kept there for the next run
#   INPUT   a picture of your own to use instead of the generated one (any
#           format convert reads; it is converted to 6000 x 4000)
#   ROWS    the rows to run (names as in the table; default all)
#   CORES   "all one" (default), "all" or "one"
#   OUT     also write the table to this file
# The peers come from Debian: imagemagick, graphicsmagick, libvips-tools
# (scripts/install-deps.sh --bench installs them).  KW runs with the settings
# of its program folder (the defaults when there is no KW.ini there) and keeps
# its swap files where it always does ($TMPDIR or /tmp).
#
# The input is made with ImageMagick alone: a fractal plasma (smooth colour
# areas with fine detail, compressing about like a photograph) with mild
# Gaussian noise, 24 bits per pixel, seed 1.
set -uo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
KW=${KW:-$here/build/bin/KW}
RUNS=${RUNS:-5}
WORK=${WORK:-/dev/shm/kw-compare}
CORES=${CORES:-all one}
ROWS=${ROWS:-negative gray gamma median3 sharpen3 half double turnmirror png jpeg chain5}
IM=/usr/bin/convert  # the real ImageMagick, not a wrapper earlier on PATH
export QT_QPA_PLATFORM=offscreen

for t in "$KW" ${KW_BEFORE:+"$KW_BEFORE"} "$IM" /usr/bin/gm /usr/bin/vips /usr/bin/time; do
  if [ ! -x "$t" ]; then
    echo "missing: $t (build KW; scripts/install-deps.sh --bench installs the peers)" >&2
    exit 2
  fi
done
mkdir -p "$WORK" || exit 2
cd "$WORK" || exit 2

# ---- inputs ----
if [ ! -s photo.bmp ]; then
  echo "making the 6000 x 4000 input in $WORK ..." >&2
  if [ -n "${INPUT:-}" ]; then
    "$IM" "$INPUT" -resize '6000x4000!' -type TrueColor BMP3:photo.bmp || exit 2
  else
    "$IM" -seed 1 -size 6000x4000 plasma:fractal -attenuate 0.25 +noise Gaussian \
      -type TrueColor BMP3:photo.bmp || exit 2
  fi
  rm -f photo.png photo.jpg
fi
[ -s photo.png ] || "$IM" photo.bmp -quality 65 photo.png || exit 2
[ -s photo.jpg ] || "$IM" photo.bmp -quality 90 photo.jpg || exit 2
printf '3 3 1 0\n-1 -1 -1\n-1 9 -1\n-1 -1 -1\n' > sharpen.mat
IN=$WORK/photo

# ---- the rows: one KW script and one command per peer ----
# kw_<row>: the lines of the script between OPEN and SAVE; the peers' commands
# read $IN.* and write out.*.
declare -A KWSTEPS SRC DST CONVERT GM VIPS TITLE
add() {  # name title src dst kwsteps convert gm vips
  TITLE[$1]=$2; SRC[$1]=$3; DST[$1]=$4; KWSTEPS[$1]=$5; CONVERT[$1]=$6; GM[$1]=$7; VIPS[$1]=$8
}
sharpen='-1,-1,-1,-1,9,-1,-1,-1,-1'
add negative "load-negative-save BMP" bmp bmp \
  'EXECFILTER NegativeColor A' \
  "$IM $IN.bmp -negate BMP3:out.bmp" \
  "gm convert $IN.bmp -negate BMP3:out.bmp" \
  "vips invert $IN.bmp out.bmp"
add gray "load-gray-save BMP" bmp bmp \
  'EXECFILTER GrayScale A' \
  "$IM $IN.bmp -grayscale Rec601Luma BMP3:out.bmp" \
  "gm convert $IN.bmp -colorspace GRAY BMP3:out.bmp" \
  "vips colourspace $IN.bmp out.bmp b-w"
add gamma "gamma 1.5 BMP" bmp bmp \
  $'= Gamma.COLOR TRUE\n= Gamma.GAMMAR 1.5\n= Gamma.GAMMAG 1.5\n= Gamma.GAMMAB 1.5\n= Gamma.AUTOGAMMA FALSE\n= Gamma.USETONEFILE FALSE\nEXECFILTER Gamma A' \
  "$IM $IN.bmp -gamma 1.5 BMP3:out.bmp" \
  "gm convert $IN.bmp -gamma 1.5 BMP3:out.bmp" \
  "vips gamma $IN.bmp out.bmp --exponent 1.5"
add median3 "median 3x3 BMP" bmp bmp \
  $'= Median.RANGE 1\nEXECFILTER Median A' \
  "$IM $IN.bmp -statistic Median 3x3 BMP3:out.bmp" \
  "gm convert $IN.bmp -median 1 BMP3:out.bmp" \
  "vips rank $IN.bmp out.bmp 3 3 4"
add sharpen3 "sharpen mask 3x3 BMP" bmp bmp \
  $'= Mask.RANGE 1\n= Mask.OPERATION 3\nEXECFILTER Mask A' \
  "$IM $IN.bmp -convolve $sharpen BMP3:out.bmp" \
  "gm convert $IN.bmp -convolve $sharpen BMP3:out.bmp" \
  "vips conv $IN.bmp out.bmp sharpen.mat --precision integer"
add half "resize to half BMP" bmp bmp \
  $'= Resize.WIDTH 3000\n= Resize.HEIGHT 2000\n= Resize.METHOD 1\nEXECFILTER Resize A' \
  "$IM $IN.bmp -sample 3000x2000! BMP3:out.bmp" \
  "gm convert $IN.bmp -sample 3000x2000! BMP3:out.bmp" \
  "vips subsample $IN.bmp out.bmp 2 2"
add double "resize to double BMP" bmp bmp \
  $'= Resize.WIDTH 12000\n= Resize.HEIGHT 8000\n= Resize.METHOD 1\nEXECFILTER Resize A' \
  "$IM $IN.bmp -sample 12000x8000! BMP3:out.bmp" \
  "gm convert $IN.bmp -sample 12000x8000! BMP3:out.bmp" \
  "vips zoom $IN.bmp out.bmp 2 2"
add turnmirror "quarter turn + mirror BMP" bmp bmp \
  $'= AxisOperate.OPERATE 2\nEXECFILTER AxisOperate A\n= AxisOperate.OPERATE 0\nEXECFILTER AxisOperate A' \
  "$IM $IN.bmp -rotate 90 -flop BMP3:out.bmp" \
  "gm convert $IN.bmp -rotate 90 -flop BMP3:out.bmp" \
  "vips rot $IN.bmp t1.v d90 && vips flip t1.v out.bmp horizontal"
add png "PNG load-save (zlib level 6)" png png \
  '' \
  "$IM $IN.png -quality 65 out.png" \
  "gm convert $IN.png -quality 65 out.png" \
  "vips copy $IN.png out.png[compression=6]"
add jpeg "JPEG load-save (quality 75)" jpg jpg \
  '' \
  "$IM $IN.jpg -quality 75 out.jpg" \
  "gm convert $IN.jpg -quality 75 out.jpg" \
  "vips copy $IN.jpg out.jpg[Q=75]"
add chain5 "five filters: gamma, median, sharpen, negative, mirror" bmp bmp \
  $'= Gamma.COLOR TRUE\n= Gamma.GAMMAR 1.5\n= Gamma.GAMMAG 1.5\n= Gamma.GAMMAB 1.5\n= Gamma.AUTOGAMMA FALSE\n= Gamma.USETONEFILE FALSE\nEXECFILTER Gamma A\n= Median.RANGE 1\nEXECFILTER Median A\n= Mask.RANGE 1\n= Mask.OPERATION 3\nEXECFILTER Mask A\nEXECFILTER NegativeColor A\n= AxisOperate.OPERATE 0\nEXECFILTER AxisOperate A' \
  "$IM $IN.bmp -gamma 1.5 -statistic Median 3x3 -convolve $sharpen -negate -flop BMP3:out.bmp" \
  "gm convert $IN.bmp -gamma 1.5 -median 1 -convolve $sharpen -negate -flop BMP3:out.bmp" \
  "vips gamma $IN.bmp t1.v --exponent 1.5 && vips rank t1.v t2.v 3 3 4 && vips conv t2.v t3.v sharpen.mat --precision integer && vips invert t3.v t4.v && vips flip t4.v out.bmp horizontal"

for r in $ROWS; do
  [ -n "${TITLE[$r]:-}" ] || { echo "unknown row: $r" >&2; exit 2; }
  printf 'IMAGE A\nOPEN A "%s.%s"\n%s\nSAVE A "%s/out.%s"\n' "$IN" "${SRC[$r]}" "${KWSTEPS[$r]}" \
    "$WORK" "${DST[$r]}" > "kw_$r.kws"
done

# ---- measuring ----
# One run: prints "wall_seconds peak_kib system_seconds", or "fail".
measure() {  # prefix command
  local t0 t1
  rm -f out.* t?.v
  t0=$EPOCHREALTIME
  if ! $1 /usr/bin/time -f '%M %S' -o time.txt bash -c "$2" > run.log 2>&1; then
    echo fail
    return
  fi
  t1=$EPOCHREALTIME
  if ! ls out.* > /dev/null 2>&1; then
    echo fail
    return
  fi
  read -r kib sys < time.txt
  awk -v a="$t0" -v b="$t1" -v k="$kib" -v s="$sys" 'BEGIN { printf "%.3f %d %.2f\n", b - a, k, s }'
}

# The median run of RUNS (by wall time), after one warm-up run.
median_run() {  # prefix command
  local i results=() r
  r=$(measure "$1" "$2")
  [ "$r" = fail ] && { echo fail; return; }
  for ((i = 0; i < RUNS; ++i)); do
    r=$(measure "$1" "$2")
    [ "$r" = fail ] && { echo fail; return; }
    results+=("$r")
  done
  printf '%s\n' "${results[@]}" | sort -n -k1,1 | awk -v n="$RUNS" 'NR == int((n + 1) / 2)'
}

report() { printf '%s\n' "$*"; [ -n "${OUT:-}" ] && printf '%s\n' "$*" >> "$OUT"; return 0; }

[ -n "${OUT:-}" ] && : > "$OUT"
report "Varoka KW --run against convert, gm and vips: 6000 x 4000, median of $RUNS runs, inputs and outputs in $WORK"
report "$(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) cores; load before start: $(cut -d' ' -f1-3 /proc/loadavg)"
report "KW: $KW ($(cd "$here" && git rev-parse --short HEAD 2>/dev/null || echo '?'))"
[ -n "${KW_BEFORE:-}" ] && report "KW before: $KW_BEFORE"
report "$($IM -version | head -1 | cut -d' ' -f2-3); $(gm version | head -1 | cut -d' ' -f1-2); $(vips --version)"
for mode in $CORES; do
  if [ "$mode" = one ]; then prefix="taskset -c 0"; label="one core (taskset -c 0)"; else prefix=""; label="all cores"; fi
  report ""
  report "== $label =="
  head=$(printf '%-52s %8s %8s %8s %8s %9s %8s %7s' row 'KW s' 'convert' 'gm' 'vips' 'KW/best' 'KW MiB' 'KW sys')
  [ -n "${KW_BEFORE:-}" ] && head+=$(printf ' | %8s %9s %8s %7s' 'before' 'bef/best' 'bef MiB' 'bef sys')
  report "$head"
  for r in $ROWS; do
    kw=$(median_run "$prefix" "exec '$KW' --run '$WORK/kw_$r.kws'")
    before=""
    [ -n "${KW_BEFORE:-}" ] && before=$(median_run "$prefix" "exec '$KW_BEFORE' --run '$WORK/kw_$r.kws'")
    c=$(median_run "$prefix" "${CONVERT[$r]}")
    g=$(median_run "$prefix" "${GM[$r]}")
    v=$(median_run "$prefix" "${VIPS[$r]}")
    line=$(awk -v t="${TITLE[$r]}" -v kw="$kw" -v c="$c" -v g="$g" -v v="$v" -v b="$before" 'BEGIN {
      split(kw, K, " "); split(c, C, " "); split(g, G, " "); split(v, V, " "); split(b, B, " ")
      best = 0
      if (c != "fail" && (best == 0 || C[1] < best)) best = C[1]
      if (g != "fail" && (best == 0 || G[1] < best)) best = G[1]
      if (v != "fail" && (best == 0 || V[1] < best)) best = V[1]
      f = "%8s"
      printf "%-52s %8s %8s %8s %8s %9s %8s %7s", t,
        kw == "fail" ? "fail" : sprintf("%.3f", K[1]),
        c == "fail" ? "fail" : sprintf("%.3f", C[1]),
        g == "fail" ? "fail" : sprintf("%.3f", G[1]),
        v == "fail" ? "fail" : sprintf("%.3f", V[1]),
        (kw == "fail" || best == 0) ? "-" : sprintf("%.2f", K[1] / best),
        kw == "fail" ? "-" : sprintf("%.0f", K[2] / 1024),
        kw == "fail" ? "-" : sprintf("%.2f", K[3])
      if (b != "")
        printf " | %8s %9s %8s %7s",
          b == "fail" ? "fail" : sprintf("%.3f", B[1]),
          (b == "fail" || best == 0) ? "-" : sprintf("%.2f", B[1] / best),
          b == "fail" ? "-" : sprintf("%.0f", B[2] / 1024),
          b == "fail" ? "-" : sprintf("%.2f", B[3])
    }')
    report "$line"
  done
done
report ""
report "KW/best: KW's time over the fastest peer's.  KW MiB: peak resident memory of the median KW run"
report "(/usr/bin/time %M).  KW sys: its system time in seconds.  The input image is $((6000 * 4000 * 4 / 1048576)) MiB at 32 bits."
[ -n "${KW_BEFORE:-}" ] && report "before, bef/best, bef MiB, bef sys: the same for $KW_BEFORE."
rm -f out.* t?.v run.log time.txt
