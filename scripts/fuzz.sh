#!/usr/bin/env bash
# Builds every registered libFuzzer target (periphd_add_fuzzer) with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer into build-fuzz (the build
# scripts/sanitize.sh shares), and runs each one for a bounded time on its
# seeds.
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

bash "$src/scripts/configure-sanitized.sh" "$build"
cmake --build "$build" -j2 --target fuzzers

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
# Leaks inside third-party libraries only (see the file).
export LSAN_OPTIONS="suppressions=$src/scripts/lsan-suppressions.txt:print_suppressions=0"
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
  grep -E "^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|^$name: " "$work/log.txt" || true
  ran=$((ran + 1))
done <"$build/fuzzers.tsv"

if ((ran == 0)); then
  echo "fuzz.sh: no fuzzer matched ${*:-anything}" >&2
  exit 1
fi
exit $status
