#!/usr/bin/env bash
# Configures the one clang build with AddressSanitizer and
# UndefinedBehaviorSanitizer on every target (PERIPHD_SANITIZE) and the
# libFuzzer targets, shared by scripts/sanitize.sh and scripts/fuzz.sh so
# that CI compiles the service under the sanitizers once, not twice.
#
#   configure-sanitized.sh BUILD_DIR
#
# Both scripts must configure it with exactly these flags: any difference
# would make the other one rebuild everything.
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "$1")"

# Coverage instrumentation for the fuzzers on everything (the service's
# libraries are what they explore). Long arithmetic loops that branch on
# nothing the fuzzer can steer stay under the sanitizers but out of the
# coverage instrumentation, which makes runs several times faster.
flags="-fsanitize=fuzzer-no-link -fsanitize-coverage-ignorelist=$src/cmake/fuzz-coverage-ignore.txt -g -O2"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$src" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
  -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DPERIPHD_SANITIZE=ON \
  -DPERIPHD_SERVICE=ON -DPERIPHD_BENCH=OFF -DPERIPHD_TESTS=ON -DPERIPHD_FUZZ=ON >/dev/null
