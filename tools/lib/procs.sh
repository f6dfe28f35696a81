# Helpers for scripts that start servers on this machine and must leave
# nothing behind. Usage: source tools/lib/procs.sh

# A TCP port on 127.0.0.1 that nothing listens on, in REPLY.
free_port() {
  local p tries=0
  while [ $tries -lt 200 ]; do
    p=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
      REPLY=$p
      return 0
    fi
    tries=$((tries + 1))
  done
  echo "no free port found" >&2
  return 1
}

# Waits until URL answers at all (any HTTP status), or until the process PID
# has ended; at most about 30 seconds. Returns 1 when it never answered.
wait_for_http() { # URL PID
  local i
  for ((i = 0; i < 300; i++)); do
    curl -s -o /dev/null --max-time 2 "$1" && return 0
    kill -0 "$2" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# PID and all of its descendants, one a line.
process_tree() { # PID
  local kid
  echo "$1"
  for kid in $(ps -o pid= --ppid "$1" 2>/dev/null); do
    process_tree "$kid"
  done
}

# The processes among PIDS that still exist, with their command lines.
still_running() { # PID...
  local pid
  for pid in "$@"; do
    [ -d "/proc/$pid" ] || continue
    # A zombie has ended; it only waits for its parent to collect it.
    case "$(ps -o stat= -p "$pid" 2>/dev/null)" in Z*|'') continue ;; esac
    echo "$pid $({ tr '\0' ' ' <"/proc/$pid/cmdline"; } 2>/dev/null)"
  done
}

_procs_lib=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Starts the stand-in llama.cpp server behind an API key
# (tools/lib/stand_in_http.py) on a free port and waits until it answers: its
# port in REPLY, its process id in STAND_IN_PID (the caller stops it).
# RECORD, when given, collects the headers of every request.
start_stand_in_http() { # KEY [RECORD]
  local attempt port
  for attempt in 1 2 3 4 5; do
    free_port || return 1
    port=$REPLY
    /usr/bin/python3 "$_procs_lib/stand_in_http.py" "$port" "$@" &
    STAND_IN_PID=$!
    # It ends at once when someone else took the port meanwhile.
    if wait_for_http "http://127.0.0.1:$port/" "$STAND_IN_PID"; then
      REPLY=$port
      return 0
    fi
    wait "$STAND_IN_PID" 2>/dev/null || true
  done
  echo "the stand-in llama.cpp server did not start" >&2
  return 1
}
