#!/usr/bin/env bash
# The whole system on one machine: a fresh instance in a temporary folder, a generated access log
# uploaded to it with `lmctl upload --wait`, the throughput of that upload, and a few searches.
#
#   scripts/demo.sh            (./dev demo builds first, then runs this)
#
# DEMO_LINES   lines of the generated log (default 120000)
# DEMO_KEEP=1  keep the temporary folder (registry, databases, index, logs) and say where it is
# DEMO_BIN     folder of the programs (default build/demo/bin)
#
# Nothing is written outside the temporary folder, and every process started here is stopped on
# any exit, Ctrl-C included.
set -euo pipefail

LM_SOURCE=$(cd "$(dirname "$0")/.." && pwd)
LM_BIN=${DEMO_BIN:-$LM_SOURCE/build/demo/bin}
LM_KEEP=${DEMO_KEEP:-0}
LM_KEEP_HINT="DEMO_KEEP=1"
LINES=${DEMO_LINES:-120000}
# shellcheck source=scripts/lm-instance.sh
. "$LM_SOURCE/scripts/lm-instance.sh"

if ! [[ $LINES =~ ^[0-9]{1,9}$ ]] || [ "$LINES" -lt 1 ] || [ "$LINES" -gt 50000000 ]; then
  lm_die "DEMO_LINES must be a number of lines from 1 to 50000000, got [$LINES]"
fi

lm_begin lm-demo
lm_say "== instance in $LM_TMP"
lm_start_instance
lm_say "lm-indexd on 127.0.0.1:$LM_INDEXD_PORT, lm-host on 127.0.0.1:$LM_HOST_PORT"
lm_say "policy $LM_POLICY (template $LM_TEMPLATE_NAME from examples/access-log.template.xml)"

LOG="$LM_TMP/access.log"
lm_generate_log "$LINES" "$LOG"
sed "s/^wrote /generated /" "$LM_TMP/logs/lm-genlog.out"

lm_say ""
lm_say "== lmctl upload $LM_POLICY access.log --wait"
lm_upload_wait "$LM_TMP/logs/upload.out" "$LOG" || lm_die "the upload failed (lmctl exit status $?)"
lm_parse_summary "$LM_TMP/logs/upload.out" || lm_die "no summary line in the upload's output"
[ "$LM_SUMMARY_FAILED" -eq 0 ] || lm_die "$LM_SUMMARY_FAILED file(s) failed"
# Continuation lines join their record: one document per record, none lost.
RECORDS=$(sed -n 's/.* lines, \([0-9][0-9]*\) records,.*/\1/p' "$LM_TMP/logs/lm-genlog.out")
[ "$LM_SUMMARY_DOCS" = "$RECORDS" ] || lm_die "the index holds $LM_SUMMARY_DOCS documents, the log has $RECORDS records"

lm_say ""
lm_say "== indexed"
printf '  %-20s %s\n' "lines read" "$LM_SUMMARY_LINES" "records in the log" "$RECORDS" \
  "documents indexed" "$LM_SUMMARY_DOCS" \
  "seconds" "$LM_SUMMARY_SECONDS" "lines per second" "$LM_SUMMARY_RATE"

search() { lm_ctl search "$LM_POLICY" "$@"; }
# The count of a search's "N matches" line.
matches() {
  local n
  n=$(search "$1" --rows 0 | sed -n 's/^\([0-9][0-9]*\) matches$/\1/p' | head -n1) || true
  printf '%s\n' "${n:-?}"
}
indent() { sed 's/^/    /'; }

lm_say ""
lm_say "== errors by status (status_if)"
for status in 500 502 503 504 400 401 403 404; do
  printf '  %s  %s\n' "$status" "$(matches "status_if:$status")"
done

lm_say ""
lm_say "== latest server errors: status_if:[500 TO 599], newest first"
search 'status_if:[500 TO 599]' --rows 3 --sort "eventTime desc" \
  --fields eventTime,status_if,method_sf,path_sf,duration_if | indent

lm_say ""
lm_say "== slowest requests: sorted by duration_if (milliseconds) desc"
search '*:*' --rows 5 --sort "duration_if desc" \
  --fields duration_if,status_if,method_sf,path_sf,eventTime | indent

lm_say ""
lm_stop_all
lm_say "stopped lm-host and lm-indexd"
