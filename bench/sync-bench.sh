#!/bin/bash
# Times unattended runs of the built program ("tessary /SYNC") against a
# local FTP server, next to md5sum over the same files:
#   - a tree of 5,000 small files in 50 folders,
#   - a tree of a few large files (3 x 300 MB by default).
# For each tree: a first run (everything is sent) and a run with nothing
# changed (everything is hashed, nothing is sent).
#
# Usage: bench/sync-bench.sh [path/to/tessary]
#   SMALL_FILES=5000 LARGE_FILES=3 LARGE_MB=300 to change the trees.
# Everything lives in one temporary folder that is removed at the end.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
REPO="$(dirname "$HERE")"
TESSARY="${1:-}"
if [ -z "$TESSARY" ]; then
  for candidate in "$REPO/build/tessary" "$REPO"/build*/tessary; do
    [ -x "$candidate" ] && TESSARY="$candidate" && break
  done
fi
[ -x "${TESSARY:-}" ] || { echo "no built tessary found; pass its path" >&2; exit 2; }
PYTHON=/usr/bin/python3
SMALL_FILES="${SMALL_FILES:-5000}"
LARGE_FILES="${LARGE_FILES:-3}"
LARGE_MB="${LARGE_MB:-300}"
RUN_LIMIT="${RUN_LIMIT:-1800}"  # seconds any one run may take

WORK="$(mktemp -d "${TMPDIR:-/tmp}/tessary-bench-XXXXXX")"
SERVER_PID=""
cleanup() {
  exec 9>&- 2>/dev/null || true   # the server stops when its input closes
  if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "tessary:  $TESSARY"
echo "work dir: $WORK"

# --- The trees ------------------------------------------------------------
"$PYTHON" - "$WORK" "$SMALL_FILES" "$LARGE_FILES" "$LARGE_MB" <<'PY'
import os, random, sys
work, small, large, mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rnd = random.Random(7)
for i in range(small):
    d = os.path.join(work, "small", "folder %02d" % (i % 50))
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "file %05d.txt" % i), "wb") as f:
        f.write(rnd.randbytes(rnd.randint(200, 8000)))
os.makedirs(os.path.join(work, "large"), exist_ok=True)
block = rnd.randbytes(1 << 20)
for i in range(large):
    with open(os.path.join(work, "large", "big %d.bin" % i), "wb") as f:
        for k in range(mb):
            f.write(bytes([i, k & 0xff]) + block[2:])
PY
echo "trees:    $(find "$WORK/small" -type f | wc -l) small files ($(du -sh "$WORK/small" | cut -f1)), $(find "$WORK/large" -type f | wc -l) large files ($(du -sh "$WORK/large" | cut -f1))"

# --- The server -------------------------------------------------------------
mkdir -p "$WORK/srv/backup"
mkfifo "$WORK/server-in"
"$PYTHON" "$REPO/tests/support/ftpserver.py" --root "$WORK/srv" --account tessary:secret \
  < "$WORK/server-in" > "$WORK/server-out" &
SERVER_PID=$!
exec 9>"$WORK/server-in"
PORT=""
for _ in $(seq 100); do
  PORT="$(sed -n 's/^PORT //p' "$WORK/server-out")"
  [ -n "$PORT" ] && break
  kill -0 "$SERVER_PID" 2>/dev/null || break
  sleep 0.1
done
[ -n "$PORT" ] || { echo "the FTP server did not start" >&2; exit 1; }
echo "server:   127.0.0.1:$PORT"

# --- One program folder per tree: the executable and a fresh store ----------
make_app() {  # name folder
  local app="$WORK/app-$1"
  mkdir -p "$app"
  cp "$TESSARY" "$app/tessary"
  "$PYTHON" - "$app/information.mdb" "$REPO/store/schema.sql" "$PORT" "$2" <<'PY'
import os, sqlite3, sys
db, schema, port, folder = sys.argv[1:]
c = sqlite3.connect(db)
c.executescript(open(schema).read())
c.execute("insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes) "
          "values ('127.0.0.1', ?, 'tessary', 'secret', '/backup', '')", (port,))
c.execute("insert into Tessary (Folder, SettingsID, SubDirs) values (?, '1', 'YES')", (folder,))
c.commit()
c.close()
os.chmod(db, 0o600)
PY
}

now() { date +%s.%N; }
elapsed() { "$PYTHON" -c "import sys; print('%.2f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$1" "$2"; }

run_sync() {  # name label -> prints seconds
  local app="$WORK/app-$1" start end status
  start="$(now)"
  set +e
  env -u DISPLAY -u WAYLAND_DISPLAY timeout "$RUN_LIMIT" "$app/tessary" /SYNC > "$WORK/log-$1-$2.txt" 2>&1
  status=$?
  set -e
  end="$(now)"
  if [ "$status" -ne 0 ]; then
    echo "tessary /SYNC ($1, $2) exited with $status; its log:" >&2
    tail -20 "$WORK/log-$1-$2.txt" >&2
    exit 1
  fi
  elapsed "$start" "$end"
}

md5_time() {  # folder -> prints seconds
  local start end
  start="$(now)"
  find "$1" -type f -print0 | xargs -0 md5sum > /dev/null
  end="$(now)"
  elapsed "$start" "$end"
}

sent() { grep -c ' has changed$' "$WORK/log-$1-$2.txt" || true; }

printf '\n%-8s %10s %8s %12s %8s %10s\n' tree "first run" sent "no change" sent md5sum
for tree in small large; do
  make_app "$tree" "$WORK/$tree"
  first="$(run_sync "$tree" first)"
  again="$(run_sync "$tree" again)"
  md5="$(md5_time "$WORK/$tree")"
  if ! diff -rq "$WORK/$tree" "$WORK/srv/backup$WORK/$tree" > /dev/null; then
    echo "the server's copy of $tree differs from the local tree" >&2
    exit 1
  fi
  printf '%-8s %9ss %8s %11ss %8s %9ss\n' "$tree" "$first" "$(sent "$tree" first)" "$again" "$(sent "$tree" again)" "$md5"
done
echo "(times in seconds, warm page cache; the server's copies matched the trees)"
