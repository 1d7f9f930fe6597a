#!/usr/bin/env bash
# Builds the Qt-free parts with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan and runs the decoder's tests.
# Any sanitizer report aborts the test and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
src="${WLT_SOURCE_DIR:-$PWD}"
build="$PWD/build-asan"

flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g -O1"
cmake -S "$src" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DPERIPHD_SERVICE=OFF -DPERIPHD_BENCH=OFF -DPERIPHD_TESTS=ON >/dev/null
# The decoder's own suites, and the encoder round trips through it when present.
targets=(wlt_tests wlt2bmp)
if ninja -C "$build" -t targets all 2>/dev/null | grep -q '^wlt_roundtrip_tests:'; then
  targets+=(wlt_roundtrip_tests)
fi
cmake --build "$build" -j2 --target "${targets[@]}"

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
cd "$build"
ctest --output-on-failure -R '^wlt_'
