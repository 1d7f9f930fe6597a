#!/usr/bin/env bash
# The whole service under AddressSanitizer (with its leak checker) and
# UndefinedBehaviorSanitizer: builds the end-to-end suites, the periphd they
# start and the in-process suites into the sanitizer build that
# scripts/fuzz.sh shares (build-fuzz, scripts/configure-sanitized.sh) and
# runs them.
#
# Every process writes its reports into <build>/sanitizer-reports (log_path):
# the built periphd that the suites start as well as the suites themselves,
# so a report of a child process fails the run even when its test would
# pass. Leaks inside third-party libraries are suppressed in
# scripts/lsan-suppressions.txt, never periphd's own.
#
# PERIPHD_FUZZ_BUILD names the build folder, as for fuzz.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
src="$PWD"
build="$(realpath -m "${PERIPHD_FUZZ_BUILD:-build-fuzz}")"

# The suites that drive the built periphd end to end, then the in-process
# suites of the same code (commands, windows, readers, server, start-up,
# the portrait decoder with the encoder's round trips), and the targets they
# run. Left out: the packaging and browser ones.
tests=(
  wlt_tests wlt_roundtrip_tests
  server.test_periphd_binary server.python_client
  server.test_signing_e2e server.test_simcard_e2e server.test_idcard_e2e
  camera.e2e_window app.test_startup_e2e app.test_shutdown_e2e
  idcard.face_data_at_startup
  server.test_envelope server.test_repeated_keys server.test_handshake_gate server.test_signing_commands
  server.test_signing_file server.test_idcard_commands server.test_camera_command
  server.test_simcard server.test_simcard_simulated
  cardbridge.test_cardbridge cardbridge.test_virtual_sim_card
  signpad.test_mainwindow signpad.test_sampling_thread simdevices.test_simulated_pad
  idcard.test_readers_in_process idcard.record_parser idcard.card_faces
  camera.test_camera_window camera.test_videocapture_source
  app.test_logging app.test_startup_state app.test_system_settings app.test_working_folder
  usb.test_backend_selection
)
# The drivers against umockdev's emulated devices. Under its preload library
# AddressSanitizer crashes opening a log_path file, so these report on their
# standard error instead; they start no other process, and a report fails
# the suite through its exit status.
umockdev_tests=(
  usb.test_usbdevfs_transfers signpad.test_libusb_driver signpad.test_hidraw_driver
  idcard.test_sam_exchanges idcard.test_hid_reader idcard.test_read_card
  camera.test_camera_discovery
)
targets=(
  wlt_tests wlt_roundtrip_tests wlt2bmp
  periphd periphd-chromium-policy periphd_face_data
  test_periphd_binary test_signing_e2e test_simcard_e2e test_idcard_e2e
  test_startup_e2e test_shutdown_e2e test_face_data_at_startup
  test_envelope test_repeated_keys test_handshake_gate test_signing_commands test_signing_file
  test_idcard_commands test_camera_command test_simcard test_simcard_simulated
  test_cardbridge test_virtual_sim_card
  test_mainwindow test_sampling_thread test_simulated_pad
  test_readers_in_process test_record_parser test_card_faces
  test_camera_window test_videocapture_source
  test_logging test_startup_state test_system_settings test_working_folder
  test_backend_selection test_usbdevfs_transfers test_libusb_driver test_hidraw_driver
  test_sam_exchanges test_hid_reader test_read_card test_camera_discovery
  fuzzers # for scripts/fuzz.sh, which runs next in scripts/test.sh
)

start=$SECONDS
bash scripts/configure-sanitized.sh "$build"
cmake --build "$build" -j2 --target "${targets[@]}"
echo "sanitize.sh: build $((SECONDS - start))s"

reports="$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
# Full malloc stacks: the leak suppressions match on library frames below
# Qt's own, which the fast unwinder cannot see past.
asan="halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0"
ubsan="halt_on_error=1:print_stacktrace=1"
export ASAN_OPTIONS="$asan:log_path=$reports/report"
export UBSAN_OPTIONS="$ubsan:log_path=$reports/report"
export LSAN_OPTIONS="suppressions=$src/scripts/lsan-suppressions.txt:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

status=0
run_start=$SECONDS
regex() { echo "^($(IFS='|'; echo "$*"))\$"; }
(cd "$build" && ctest --output-on-failure -j2 -R "$(regex "${tests[@]}")") || status=1
(cd "$build" && ASAN_OPTIONS="$asan" UBSAN_OPTIONS="$ubsan" \
  ctest --output-on-failure -j2 -R "$(regex "${umockdev_tests[@]}")") || status=1
echo "sanitize.sh: run $((SECONDS - run_start))s"

shopt -s nullglob
found=("$reports"/*)
if ((${#found[@]})); then
  status=1
  echo "sanitize.sh: ${#found[@]} sanitizer report(s):"
  for report in "${found[@]}"; do
    echo "== $report"
    head -n 60 "$report"
  done
fi
exit $status
