#!/usr/bin/env bash
# Fuzzes libwlt::Unpack_Data with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer for a bounded time (WLT_FUZZ_SECONDS, default 60).
# Seeds: the hand-made inputs of wlt_fuzz_seeds and, when the test encoder is
# there, its synthetic portraits (wltenc_tool OUTDIR) at several byte budgets.
# Exits non-zero on any finding; the crashing input is left in
# build-fuzz/wlt-artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
src="${WLT_SOURCE_DIR:-$PWD}"
build="$PWD/build-fuzz"
seconds="${WLT_FUZZ_SECONDS:-60}"

# The inverse transform and the picture output are long arithmetic loops that
# branch on nothing the fuzzer can steer; leaving them out of the coverage
# instrumentation (they stay under ASan and UBSan) makes runs several times faster.
mkdir -p "$build"
ignorelist="$build/wlt-coverage-ignore.txt"
printf 'src:*/wlt/InverseTransform.cpp\nsrc:*/wlt/PictureOutput.cpp\n' >"$ignorelist"
flags="-fsanitize=address,undefined,fuzzer-no-link -fsanitize-coverage-ignorelist=$ignorelist"
flags+=" -fno-sanitize-recover=all -fno-omit-frame-pointer -g -O2"
cmake -S "$src" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DPERIPHD_SERVICE=OFF -DPERIPHD_BENCH=OFF -DPERIPHD_TESTS=ON -DPERIPHD_FUZZ=ON >/dev/null
targets=(wlt_fuzz wlt_fuzz_seeds)
if ninja -C "$build" -t targets all 2>/dev/null | grep -q '^wltenc_tool:'; then
  targets+=(wltenc_tool)
fi
cmake --build "$build" -j2 --target "${targets[@]}"

seeds="$build/wlt-seeds"
corpus="$build/wlt-corpus"
artifacts="$build/wlt-artifacts"
rm -rf "$seeds" "$artifacts"
mkdir -p "$seeds" "$corpus" "$artifacts"
"$(find "$build" -name wlt_fuzz_seeds -type f -perm -u+x | head -n1)" "$seeds"
encoder="$(find "$build" -name wltenc_tool -type f -perm -u+x | head -n1)"
if [ -n "$encoder" ]; then
  for budget in 1024 400; do
    mkdir -p "$seeds/enc-$budget"
    "$encoder" --budget "$budget" "$seeds/enc-$budget" >/dev/null
    for f in "$seeds/enc-$budget"/*.wlt; do mv "$f" "$seeds/enc-$budget-$(basename "$f")"; done
    rmdir "$seeds/enc-$budget"
  done
else
  echo "fuzz-wlt: the test encoder (wltenc_tool) is not there; using the hand-made seeds only"
fi
echo "fuzz-wlt: $(ls "$seeds" | wc -l) seed files"

fuzzer="$(find "$build" -name wlt_fuzz -type f -perm -u+x | head -n1)"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
"$fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "$seeds"
