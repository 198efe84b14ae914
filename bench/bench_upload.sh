#!/usr/bin/env bash
# Whole-process benchmark of the demo's upload path: for each line count, a fresh instance in a
# temporary folder (lm-indexd, lm-host, the sample template and policy), a generated access log,
# and the time from the start of `lmctl upload --wait` to its end, when the documents are committed
# in lm-indexd. The count is checked against lm-indexd itself (a match-all select summed over its
# cores), not taken from lmctl.
#
#   bench/bench_upload.sh [LINES...]     default: 120000 2000000
#
# BENCH_BIN  folder of the programs; without it an optimised build is made in build/demo
# BENCH_KEEP=1 keeps each run's temporary folder
set -euo pipefail

LM_SOURCE=$(cd "$(dirname "$0")/.." && pwd)
LM_KEEP=${BENCH_KEEP:-0}
LM_KEEP_HINT="BENCH_KEEP=1"
COUNTS=("$@")
[ ${#COUNTS[@]} -gt 0 ] || COUNTS=(120000 2000000)
for n in "${COUNTS[@]}"; do
  if ! [[ $n =~ ^[0-9]{1,9}$ ]] || [ "$n" -lt 1 ] || [ "$n" -gt 50000000 ]; then
    echo "error: a line count from 1 to 50000000 is needed, got [$n]" >&2
    exit 2
  fi
done

if [ -n "${BENCH_BIN:-}" ]; then
  LM_BIN=$BENCH_BIN
else
  cmake -S "$LM_SOURCE" -B "$LM_SOURCE/build/demo" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$LM_SOURCE/build/demo" -j "${JOBS:-$(nproc)}" --target lmctl lm-host lm-indexd lm-genlog logmonitoring >/dev/null
  LM_BIN=$LM_SOURCE/build/demo/bin
fi

# One run per line count, each in a process of its own so that its instance and traps are its
# own. Prints: lines records documents seconds
run_one() {
  local lines=$1 records docs
  # shellcheck source=scripts/lm-instance.sh
  . "$LM_SOURCE/scripts/lm-instance.sh"
  lm_begin lm-bench
  lm_start_instance
  lm_generate_log "$lines" "$LM_TMP/access.log"
  records=$(sed -n 's/.* lines, \([0-9][0-9]*\) records,.*/\1/p' "$LM_TMP/logs/lm-genlog.out")
  echo "-- $lines lines ($records records), instance in $LM_TMP" >&2
  lm_upload_wait "$LM_TMP/logs/upload.out" "$LM_TMP/access.log" >&2 || lm_die "the upload of $lines lines failed"
  lm_parse_summary "$LM_TMP/logs/upload.out" || lm_die "no summary line in the upload's output"
  [ "$LM_SUMMARY_FAILED" -eq 0 ] || lm_die "$LM_SUMMARY_FAILED file(s) failed"
  docs=$(lm_indexd_count) || lm_die "cannot count the documents in lm-indexd"
  [ "$docs" -eq "$records" ] ||
    lm_die "lm-indexd holds $docs documents, the log has $records records"
  printf '%s %s %s %s\n' "$lines" "$records" "$docs" "$LM_UPLOAD_SECONDS"
}

results=()
for n in "${COUNTS[@]}"; do
  results+=("$(run_one "$n")")
done

printf '\nupload benchmark, nproc %s\n' "$(nproc)"
printf '%12s %12s %10s %14s %14s\n' lines documents seconds lines/s documents/s
for r in "${results[@]}"; do
  read -r lines _ docs seconds <<<"$r"
  awk -v l="$lines" -v d="$docs" -v s="$seconds" \
    'BEGIN { printf "%12d %12d %10.2f %14.0f %14.0f\n", l, d, s, (s > 0 ? l / s : 0), (s > 0 ? d / s : 0) }'
done
