#!/usr/bin/env bash
# Session discovery figures, called by bench/run with WORK, DRIVER and RUNS set
# (warm file-system cache: everything is run a few times before measuring).
set -euo pipefail
cd "$(dirname "$0")/.."

peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n1; }

# 128 listed sessions, each working tree holding 20 candidate directories.
world="$WORK/sessions-world"
mkdir -p "$world"
listing="$world/listing.json"
{
  printf '{"sessions":['
  for i in $(seq 0 127); do
    tree="$world/tree-$i"
    for j in $(seq 0 19); do
      dir="$tree/.velunora/sessions/sid-$j"
      mkdir -p "$dir"
      echo '{}' > "$dir/meta.json"
      [ $((j % 2)) -eq 0 ] && echo '{"slots":[]}' > "$dir/slots.json"
    done
    [ "$i" -gt 0 ] && printf ','
    printf '{"name":"session-%d","worktree":"%s","state":"running"}' "$i" "$tree"
  done
  printf ']}\n'
} > "$listing"
cp build/stand_in "$world/velunora-tmux"

echo "== the sessions call: 128 listed sessions x 20 candidate directories (stand-in tool prints the listing)"
env -i VELUNORA_TMUX_BIN="$world/velunora-tmux" STAND_IN_STDOUT="$listing" QUERY_STRING=action=sessions \
  "$DRIVER" "$RUNS" sessions-128x20 -- build/slots
echo "peak memory: $(peak_kib env -i VELUNORA_TMUX_BIN="$world/velunora-tmux" STAND_IN_STDOUT="$listing" \
  QUERY_STRING=action=sessions build/slots) KiB"

# The fallback: no tool, a root of 10,000 entries; 128 are listed.
root="$WORK/root-10k"
mkdir -p "$root"
(cd "$root" && seq -f 'session-%05g' 0 9999 | xargs mkdir)
for i in $(seq -f '%05g' 0 2 300); do echo '[]' > "$root/session-$i/slots.json"; done
echo
echo "== the sessions call, fallback over a root of 10,000 entries (128 listed)"
env -i PATH="$WORK/empty-path" QV_SESSIONS_DIR="$root" QUERY_STRING=action=sessions \
  "$DRIVER" "$RUNS" sessions-fallback-10k -- build/slots

# A session's 8 MiB slots.json served.
big="$WORK/root-big"
mkdir -p "$big/big"
head -c $((8 * 1024 * 1024)) /dev/zero | tr '\0' ' ' | { printf '{"slots":['; cat; } > "$big/big/slots.json"
echo
echo "== a session's 8 MiB slots.json served"
env -i QV_SESSIONS_DIR="$big" QUERY_STRING="action=slots&id=big" "$DRIVER" 20 slots-session-8MiB -- build/slots
echo "peak memory: $(peak_kib env -i QV_SESSIONS_DIR="$big" QUERY_STRING="action=slots&id=big" build/slots) KiB" \
  "(answer $(env -i QV_SESSIONS_DIR="$big" QUERY_STRING="action=slots&id=big" build/slots | wc -c) bytes)"
