# shellcheck shell=bash disable=SC2034
# (the LM_* variables set here are read by the scripts that source this file)
# Sourced by scripts/demo.sh and bench/bench_upload.sh: a throw-away instance of the whole system
# (lm-indexd, lm-host, the management database, the sample template and policy) in one temporary
# folder, on free loopback ports.
#
# Everything an instance writes lives in $LM_TMP: registry, databases, index data, staged uploads,
# process output and debug logs. lm_cleanup, installed as the EXIT trap by lm_begin, stops every
# process started here by its pid (SIGTERM, then SIGKILL) and removes $LM_TMP, and only $LM_TMP,
# unless LM_KEEP=1.
#
# The caller sets LM_BIN (folder of lmctl, lm-host, lm-indexd and lm-genlog) and LM_SOURCE (the
# source tree, for examples/) before calling lm_begin.

LM_TMP=""
LM_TMP_OURS=0
LM_KEEP=${LM_KEEP:-0}
LM_PIDS=()
LM_STEP_PID=""
LM_SHOW_PID=""
LM_INDEXD_PORT=""
LM_HOST_PORT=""
LM_CLIENT_NAME=${LM_CLIENT_NAME:-lm-demo}
LM_POLICY=${LM_POLICY:-web-access}
LM_TEMPLATE_NAME=${LM_TEMPLATE_NAME:-access-log}
LM_CLOUD=${LM_CLOUD:-demo}

# The sample log is written in UTC; a host in UTC turns its times into event times unchanged.
export TZ=UTC

lm_say() { printf '%s\n' "$*"; }
lm_die() {
  printf 'error: %s\n' "$*" >&2
  exit 1
}

# Makes the temporary folder and installs the traps. $1: the folder name's prefix.
lm_begin() {
  local prefix=${1:-lm-instance}
  local bin
  for bin in lmctl lm-host lm-indexd lm-genlog; do
    [ -x "$LM_BIN/$bin" ] || lm_die "$LM_BIN/$bin is missing; build first"
  done
  [ -f "$LM_SOURCE/examples/access-log.template.xml" ] || lm_die "no examples/access-log.template.xml in $LM_SOURCE"
  LM_TMP=$(mktemp -d "${TMPDIR:-/tmp}/$prefix.XXXXXXXX") || lm_die "cannot make a temporary folder"
  LM_TMP_OURS=1
  mkdir -p "$LM_TMP/logs"
  trap lm_cleanup EXIT
  # An interrupted run still goes through the EXIT trap: stop what was started, tidy up.
  trap 'exit 130' INT
  trap 'exit 143' TERM
  trap 'exit 129' HUP
}

# True while the process runs; a child that exited but is not reaped yet counts as gone.
lm_alive() {
  local pid=$1 state
  kill -0 "$pid" 2>/dev/null || return 1
  state=$(cut -d' ' -f3 "/proc/$pid/stat" 2>/dev/null) || return 1
  [ "$state" != Z ]
}

# Stops one process started here: SIGTERM, up to $2 seconds (default 15) to finish, then SIGKILL.
lm_stop_pid() {
  local pid=$1 grace=${2:-15} waited=0
  [ -n "$pid" ] || return 0
  if lm_alive "$pid"; then
    kill -TERM "$pid" 2>/dev/null || true
    while lm_alive "$pid" && [ "$waited" -lt $((grace * 10)) ]; do
      sleep 0.1
      waited=$((waited + 1))
    done
    if lm_alive "$pid"; then
      printf 'process %s did not stop within %s s: killing it\n' "$pid" "$grace" >&2
      kill -KILL "$pid" 2>/dev/null || true
    fi
  fi
  wait "$pid" 2>/dev/null || true
}

# Stops the processes started here, the last started first (lm-host before the index engine it
# sends to).
lm_stop_all() {
  local i
  for ((i = ${#LM_PIDS[@]} - 1; i >= 0; i--)); do
    lm_stop_pid "${LM_PIDS[$i]}"
  done
  LM_PIDS=()
}

lm_cleanup() {
  local rc=$?
  trap - EXIT INT TERM HUP
  lm_stop_pid "$LM_STEP_PID" 5
  lm_stop_pid "$LM_SHOW_PID" 2
  lm_stop_all
  if [ "$LM_TMP_OURS" = 1 ] && [ -n "$LM_TMP" ] && [ -d "$LM_TMP" ]; then
    if [ "$LM_KEEP" = 1 ]; then
      printf 'kept %s (remove it when done)\n' "$LM_TMP" >&2
    else
      [ "$rc" -ne 0 ] && printf 'failed; the logs go with the temporary folder: %s to keep it\n' \
        "${LM_KEEP_HINT:-LM_KEEP=1}" >&2
      rm -rf -- "$LM_TMP"
    fi
  fi
  exit "$rc"
}

# A TCP port on 127.0.0.1 nobody listens on, below the usual ephemeral range so that outgoing
# connections do not take it meanwhile. A connect that is refused means the port is free.
lm_free_port() {
  local port
  for _ in $(seq 1 200); do
    port=$((20000 + RANDOM % 12000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      printf '%s\n' "$port"
      return 0
    fi
  done
  lm_die "no free loopback port found"
}

# Waits until the file has a line matching the extended expression and prints that line.
# $1 file, $2 expression, $3 pid that must stay alive, $4 seconds (default 30).
lm_wait_line() {
  local file=$1 expr=$2 pid=$3 limit=${4:-30} waited=0 line
  while :; do
    line=$(grep -E -m1 -- "$expr" "$file" 2>/dev/null) && {
      printf '%s\n' "$line"
      return 0
    }
    lm_alive "$pid" || return 1
    [ "$waited" -ge $((limit * 10)) ] && return 1
    sleep 0.1
    waited=$((waited + 1))
  done
}

lm_ctl() {
  LM_LOG_FILE="$LM_TMP/logs/lmctl.debug.log" "$LM_BIN/lmctl" --registry "$LM_TMP/registry.ini" "$@"
}

lm_start_indexd() {
  local out="$LM_TMP/logs/lm-indexd.out" line pid
  LM_LOG_FILE="$LM_TMP/logs/lm-indexd.debug.log" "$LM_BIN/lm-indexd" --data "$LM_TMP/indexd" --port 0 \
    --bind 127.0.0.1 >"$out" 2>&1 &
  pid=$!
  LM_PIDS+=("$pid")
  line=$(lm_wait_line "$out" '^listening on http://' "$pid" 30) || {
    cat "$out" >&2
    lm_die "lm-indexd did not start"
  }
  LM_INDEXD_PORT=$(printf '%s\n' "$line" | sed -n 's|^listening on http://.*:\([0-9][0-9]*\)/solr.*$|\1|p')
  [ -n "$LM_INDEXD_PORT" ] || lm_die "cannot read the port of lm-indexd from: $line"
}

# The management side of the instance: client, cloud with the index engine as its node, the
# sample template and the policy of uploaded files. Needs lm-indexd's port. The sample log's days
# lie in the past, and a policy indexes only the days younger than its ageing period ("age ci data
# after days", 0 when unset), so the policy keeps ten years. Template id 1 is the suite's own log
# format, whose first ten lines are a header; the sample template takes an id of its own.
lm_setup_instance() {
  LM_HOST_PORT=$(lm_free_port) || lm_die "no free loopback port for lm-host"
  {
    lm_ctl init --home "$LM_TMP" --port "$LM_HOST_PORT" --client-name "$LM_CLIENT_NAME" &&
      lm_ctl cloud add "$LM_CLOUD" &&
      lm_ctl node add "$LM_CLOUD" --client "$LM_CLIENT_NAME" --host 127.0.0.1 --port "$LM_INDEXD_PORT" &&
      lm_ctl template add "$LM_SOURCE/examples/access-log.template.xml" --name "$LM_TEMPLATE_NAME" --type 0 --id 100 &&
      lm_ctl policy add "$LM_POLICY" --template "$LM_TEMPLATE_NAME" --type 4 --cloud "$LM_CLOUD" \
        --property "age ci data after days=3650"
  } >"$LM_TMP/logs/setup.out" 2>&1 || {
    cat "$LM_TMP/logs/setup.out" >&2
    lm_die "setting up the instance failed"
  }
}

lm_start_host() {
  local out="$LM_TMP/logs/lm-host.out" pid
  LM_LOG_FILE="$LM_TMP/logs/lm-host.debug.log" "$LM_BIN/lm-host" --registry "$LM_TMP/registry.ini" >"$out" 2>&1 &
  pid=$!
  LM_PIDS+=("$pid")
  lm_wait_line "$out" '^listening on ' "$pid" 30 >/dev/null || {
    cat "$out" >&2
    lm_die "lm-host did not start on port $LM_HOST_PORT"
  }
}

# The whole instance, ready for uploads.
lm_start_instance() {
  lm_start_indexd
  lm_setup_instance
  lm_start_host
}

# Runs a long step (its arguments) as a child of its own and waits for it. Bash runs a trap only
# after a foreground command ends, but interrupts `wait` at once: a SIGTERM during a long upload
# stops everything now rather than when the upload is over. Returns the step's exit status.
lm_step() {
  local rc=0
  "$@" &
  LM_STEP_PID=$!
  wait "$LM_STEP_PID" || rc=$?
  LM_STEP_PID=""
  return "$rc"
}

# $1 lines, $2 output file.
lm_generate_log() {
  lm_step "$LM_BIN/lm-genlog" --lines "$1" "$2" >"$LM_TMP/logs/lm-genlog.out" || lm_die "lm-genlog failed"
}

# The body of an HTTP GET to lm-indexd, without any client program: bash's /dev/tcp.
lm_indexd_get() {
  local path=$1 response
  response=$(
    exec 3<>"/dev/tcp/127.0.0.1/$LM_INDEXD_PORT" || exit 1
    printf 'GET %s HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' "$path" >&3
    cat <&3
  ) || return 1
  printf '%s\n' "${response#*$'\r\n\r\n'}"
}

# Documents in lm-indexd: the count of a match-all select, summed over every core.
lm_indexd_count() {
  local cores core body n total=0
  cores=$(lm_indexd_get '/solr/api/admin/cores') || return 1
  cores=$(printf '%s' "$cores" | sed -n 's/.*"response":\[\([^]]*\)\].*/\1/p' | tr ',' '\n' | tr -d '"')
  for core in $cores; do
    body=$(lm_indexd_get "/solr/$core/select?q=*:*&rows=0&wt=json") || return 1
    n=$(printf '%s' "$body" | grep -o '"numFound":[0-9]*' | head -n1 | cut -d: -f2)
    [ -n "$n" ] || return 1
    total=$((total + n))
  done
  printf '%s\n' "$total"
}

# Runs `lmctl upload POLICY FILE --wait` ($2) with its output kept in $1 and shown as it comes.
# Sets LM_UPLOAD_SECONDS to the time from lmctl's start to its end; returns lmctl's exit status.
lm_upload_wait() {
  local keep=$1 file=$2 rc=0 show start end line_buffer=()
  # lmctl's progress lines would wait in the file's stdio buffer otherwise.
  command -v stdbuf >/dev/null 2>&1 && line_buffer=(stdbuf -oL -eL)
  : >"$keep"
  start=$(date +%s%N)
  LM_LOG_FILE="$LM_TMP/logs/lmctl.debug.log" "${line_buffer[@]}" "$LM_BIN/lmctl" \
    --registry "$LM_TMP/registry.ini" upload "$LM_POLICY" "$file" --wait >"$keep" 2>&1 &
  LM_STEP_PID=$!
  # Shows the output live and ends by itself once lmctl has ended and everything is shown.
  tail -s 0.2 -n +1 -f --pid="$LM_STEP_PID" "$keep" &
  show=$!
  LM_SHOW_PID=$show
  wait "$LM_STEP_PID" || rc=$?
  end=$(date +%s%N)
  LM_STEP_PID=""
  wait "$show" || true
  LM_SHOW_PID=""
  LM_UPLOAD_SECONDS=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
  return "$rc"
}

# Reads the summary line of an upload's output (file $1) into LM_SUMMARY_* variables.
lm_parse_summary() {
  local line re='^done: ([0-9]+) files indexed, ([0-9]+) failed, ([0-9]+) lines read, ([0-9]+) documents in the index, ([0-9.]+) seconds, ([0-9.]+) lines/s'
  line=$(grep -E '^done: ' "$1" | tail -n1)
  [[ $line =~ $re ]] || return 1
  LM_SUMMARY_FILES=${BASH_REMATCH[1]}
  LM_SUMMARY_FAILED=${BASH_REMATCH[2]}
  LM_SUMMARY_LINES=${BASH_REMATCH[3]}
  LM_SUMMARY_DOCS=${BASH_REMATCH[4]}
  LM_SUMMARY_SECONDS=${BASH_REMATCH[5]}
  LM_SUMMARY_RATE=${BASH_REMATCH[6]}
}
