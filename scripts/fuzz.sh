#!/usr/bin/env bash
# fuzz.sh: builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ and runs each for a
# bounded time on a copy of its saved corpus, so that nothing is written into the repository.
#   scripts/fuzz.sh                 every target, QUORBEL_FUZZ_SECONDS (default 20) each
#   scripts/fuzz.sh synth text      only those targets
# Fails when a target finds a crash, a leak or a hang; the input that did it is kept in
# build-fuzz/findings/ and the run's log in build-fuzz/logs/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

seconds=${QUORBEL_FUZZ_SECONDS:-20}
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(particle synth text stream)
dir=build-fuzz

quorbel_install_packages
if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is not installed (Debian packages clang and libclang-rt-14-dev)" >&2
  exit 1
fi
cmake -S fuzz -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$dir" -j"$(nproc)" >/dev/null || {
  echo "fuzz.sh: building the fuzz targets failed (cmake --build $dir shows why)" >&2
  exit 1
}

mkdir -p "$dir/findings" "$dir/logs"
failed=()
for target in "${targets[@]}"; do
  corpus=fuzz/corpus/$target
  if [ ! -x "$dir/${target}_fuzz" ] || [ ! -d "$corpus" ]; then
    echo "fuzz.sh: no target '$target' (fuzz/${target}_fuzz.cpp and $corpus/)" >&2
    exit 1
  fi
  work=$dir/run/$target
  rm -rf "$work"
  mkdir -p "$work"
  cp "$corpus"/* "$work"/
  log=$dir/logs/$target.log
  rm -f "$dir/findings/$target-"*
  # A target's dictionary of its format's words, where it has one.
  dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
  # Any input slower than 10 s counts as a hang; findings are named after the target.
  if "$dir/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 "${dict[@]}" \
       -artifact_prefix="$dir/findings/$target-" "$work" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    echo "fuzz $target: ${runs:-?} inputs in ${seconds} s, ${cov:-cov: ?} edges, $(ls "$corpus" | wc -l) saved, $(ls "$work" | wc -l) in its corpus now, nothing found"
  else
    echo "fuzz $target: FAILED; the last lines of $log:" >&2
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error|artifact_prefix|Test unit written)' "$log" | tail -8 >&2 ||
      tail -20 "$log" >&2
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz.sh: ${failed[*]} found a fault; replay with $dir/<target>_fuzz $dir/findings/<file>" >&2
  exit 1
fi
