#!/usr/bin/env bash
# Upload speed of the FTP layer next to the curl tool, both against the
# test server (pyftpdlib) on 127.0.0.1: COUNT files of 1 KiB over one
# connection, then one file of BIG_MB megabytes. Stops by itself.
#
#   bench/ftp-bench.sh [BUILD_DIR] [COUNT] [BIG_MB]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
count=${2:-1000}
big_mb=${3:-200}
bench="$build/bench/ftp-bench"
[ -x "$bench" ] || { echo "build $bench first (make ftp-bench)" >&2; exit 1; }

work=$(mktemp -d)
server_pid=
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root" "$work/small"
for i in $(seq 1 "$count"); do head -c 1024 /dev/urandom > "$work/small/f$i.bin"; done
head -c $((big_mb * 1024 * 1024)) /dev/urandom > "$work/big.bin"

# The server prints "PORT <n>" once it listens, and stops when its stdin
# closes: fd 4 holds it open until this script ends, however it ends.
mkfifo "$work/out" "$work/in"
/usr/bin/python3 "$here/../tests/support/ftpserver.py" --root "$work/root" > "$work/out" < "$work/in" &
server_pid=$!
exec 3< "$work/out"
exec 4> "$work/in"
read -r -t 10 line <&3 || { echo "the FTP server did not start" >&2; exit 1; }
port=${line#PORT }
cat <&3 > /dev/null &  # keep draining its login lines

"$bench" "$port" "$work/small" "$work/big.bin"

url="ftp://127.0.0.1:$port"
files=$(cd "$work/small" && ls | paste -sd, -)
start=$(date +%s.%N)
(cd "$work/small" && curl -sS --user tessary:secret --ftp-create-dirs -T "{$files}" "$url/small-curl/")
end=$(date +%s.%N)
awk -v n="$count" -v s="$start" -v e="$end" \
    'BEGIN { printf "curl -T small: %d files in %.3f s = %.0f files/s\n", n, e - s, n / (e - s) }'

start=$(date +%s.%N)
curl -sS --user tessary:secret -T "$work/big.bin" "$url/big-curl.bin"
end=$(date +%s.%N)
awk -v mb="$big_mb" -v s="$start" -v e="$end" \
    'BEGIN { printf "curl -T big: %.0f MB in %.3f s = %.1f MB/s\n", mb * 1.048576, e - s, mb * 1.048576 / (e - s) }'

cmp -s "$work/big.bin" "$work/root/big.bin" || { echo "big.bin arrived changed" >&2; exit 1; }
