#!/usr/bin/env bash
# The decoder's fuzzer alone (WLT_FUZZ_SECONDS, default 60); see fuzz.sh.
set -euo pipefail
PERIPHD_FUZZ_SECONDS="${WLT_FUZZ_SECONDS:-60}" exec bash "$(dirname "$0")/fuzz.sh" wlt_fuzz
