#!/usr/bin/env bash
# Builds every registered libFuzzer target (periphd_add_fuzzer) with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer into build-fuzz, and runs
# each one for a bounded time on its seeds.
#
#   fuzz.sh [NAME...]     only the named fuzzers (default: all)
#
# PERIPHD_FUZZ_SECONDS (default 30) bounds each run; PERIPHD_FUZZ_BUILD names
# the build folder. Exits non-zero on any finding; the input that caused it
# is left in <build>/fuzz/NAME/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
src="$PWD"
build="$(realpath -m "${PERIPHD_FUZZ_BUILD:-build-fuzz}")"
seconds="${PERIPHD_FUZZ_SECONDS:-30}"

# Long arithmetic loops that branch on nothing the fuzzer can steer stay
# under ASan and UBSan but out of the coverage instrumentation, which makes
# runs several times faster.
ignorelist="$src/cmake/fuzz-coverage-ignore.txt"
flags="-fsanitize=address,undefined,fuzzer-no-link -fsanitize-coverage-ignorelist=$ignorelist"
flags+=" -fno-sanitize-recover=all -fno-omit-frame-pointer -g -O2"
cmake -S "$src" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DPERIPHD_SERVICE=ON -DPERIPHD_BENCH=OFF -DPERIPHD_TESTS=ON -DPERIPHD_FUZZ=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzzers

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen
status=0
ran=0
while IFS=$'\t' read -r name binary seeder max_len; do
  [ -n "$name" ] || continue
  if (($#)) && ! printf '%s\n' "$@" | grep -qx "$name"; then
    continue
  fi
  work="$build/fuzz/$name"
  rm -rf "$work/seeds" "$work/artifacts"
  mkdir -p "$work/seeds" "$work/corpus" "$work/artifacts"
  if [ "$seeder" != "-" ]; then
    "$seeder" "$work/seeds" >/dev/null
  fi
  echo "== fuzz $name: $(ls "$work/seeds" | wc -l) seeds, ${seconds}s"
  "$binary" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" "$work/seeds" \
    >"$work/log.txt" 2>&1 || { status=1; echo "fuzz $name: FOUND A FAULT (see $work/log.txt)"; tail -n 40 "$work/log.txt"; }
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$work/log.txt" || true
  ran=$((ran + 1))
done <"$build/fuzzers.tsv"

if ((ran == 0)); then
  echo "fuzz.sh: no fuzzer matched ${*:-anything}" >&2
  exit 1
fi
exit $status
