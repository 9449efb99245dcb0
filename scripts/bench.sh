#!/usr/bin/env bash
# bench.sh: every benchmark in one table: the soundtrack (whole song and worst row), the particle
# machine, text, tunnel and cube, the GL device, then frame times per phase of the whole show
# drawn by quorbel-capture --bench. Figures are of this machine; judge changes on one machine.
#   scripts/bench.sh              the show's phases on a 60 fps virtual clock (about 7 minutes)
#   QUORBEL_BENCH_FPS=10 scripts/bench.sh   a quicker, coarser run of the phases
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

quorbel_prepare "show develop" build RelWithDebInfo quorbel_bench quorbel-capture
fps=${QUORBEL_BENCH_FPS:-60}

headline='BM_SongShipped/iterations:3|BM_SongRowShipped|BM_particlePasses10s|BM_drawTextLine|BM_buildTunnel'
headline+='|BM_updateCubeSolvePerFrame|BM_scrambleCube125|BM_GL|BM_nextRandom|BM_skipRandom'
echo "bench.sh: Google Benchmark programs, then quorbel-capture --bench at $fps fps" >&2
build/bench/quorbel_bench --benchmark_filter="$headline" --benchmark_format=json 2>/dev/null >build/bench.json
build/quorbel-capture --bench --fps "$fps" --json build/bench-phases.json >build/bench-phases.txt

printf '%-44s %12s %12s  %s\n' "benchmark" "time" "cpu" "unit / notes"
# Song rows are folded into their worst; the rest print as Google Benchmark measured them. Its
# JSON has one field a line, which is all this reads.
awk -F': ' '
  function value(text) { gsub(/[",]/, "", text); return text }
  $1 ~ /"name"$/ { name = value($2) }
  $1 ~ /"real_time"$/ { real = value($2) }
  $1 ~ /"cpu_time"$/ { cpu = value($2) }
  $1 ~ /"time_unit"$/ {
    unit = value($2)
    if (name ~ /^BM_SongRowShipped\//) {
      if (real + 0 > worst + 0) { worst = real; worstName = name; worstUnit = unit }
    } else {
      printf "%-44s %12.3f %12.3f  %s\n", name, real, cpu, unit
    }
  }
  END {
    if (worstName != "")
      printf "%-44s %12.3f %12s  %s, the slowest of the 61 song rows\n", "worst row: " worstName, worst, "", worstUnit
  }' build/bench.json
# quorbel-capture prints: phase frames median p95 worst cpu-median cpu-worst Mpix-median Mpix-max.
awk 'NR == 1 { print "show at " $0; next } NR == 2 { next } {
  n = NF; phase = $1; for (i = 2; i <= n - 8; ++i) phase = phase " " $i
  printf "%-44s %12.2f %12.2f  ms median (p95 %s, worst %s; cpu worst %s; %s Mpixels)\n", "frame: " phase, $(n-6), $(n-3), $(n-5), $(n-4), $(n-2), $(n-1)
}' build/bench-phases.txt
