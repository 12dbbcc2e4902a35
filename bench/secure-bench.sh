#!/bin/bash
# Times one first upload of 5,000 small files (in 100 folders) with the
# unattended "tessary /SYNC" over plain FTP, FTPS and SFTP, each to a
# local server on 127.0.0.1: vsftpd without TLS, vsftpd with TLS, and
# OpenSSH's sshd. Checks that each server's copy equals the local tree.
#
# Usage (as root: the servers log in a system account): bench/secure-bench.sh [path/to/tessary]
#   The tree is bench/gendata.py's "small" set (the one compare.sh times);
#   SMALL_FILES=N makes N files of our own instead; DATA_SET=wan takes
#   gendata.py's set of that name (wan: 500 files of 1-64 KiB in 20 folders).
#   SCHEMES="ftps sftp" times only those.
#   CONNECTIONS="1 4" times each scheme with the profile's Connections at each
#   value (default: 4), and gives each scheme's ratio of the last to the first.
#   WAN_DELAY_MS=10 puts SFTP behind bench/wan-proxy.py, every byte held that
#   long each way (FTP and FTPS stay on loopback: their data connections do
#   not go through a plain proxy).
# The test authority's certificate is trusted only inside a private mount
# namespace of each run (a copy of /etc/ssl/certs with it added); ~/.ssh/known_hosts is a temporary HOME's. Everything
# lives in one temporary folder that is removed at the end.
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
[ "$(id -u)" -eq 0 ] || { echo "run as root: the servers log in a system account" >&2; exit 2; }
PYTHON=/usr/bin/python3
SMALL_FILES="${SMALL_FILES:-}"
RUN_LIMIT="${RUN_LIMIT:-1800}"
SCHEMES="${SCHEMES:-ftp ftps sftp}"  # the transports to time
CONNECTIONS="${CONNECTIONS:-4}"
WAN_DELAY_MS="${WAN_DELAY_MS:-0}"
ACCOUNT=tessarytest
ACCOUNT_DIR=/var/tmp/tessary-test-account   # shared with the tests

WORK="$(mktemp -d "${TMPDIR:-/tmp}/tessary-secure-bench-XXXXXX")"
chmod 711 "$WORK"
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill -- "-$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "tessary:  $TESSARY"
echo "work dir: $WORK"

# --- The account both servers log in ----------------------------------------
mkdir -p -m 700 "$ACCOUNT_DIR"
exec 8>"$ACCOUNT_DIR/lock"
flock 8
if [ ! -s "$ACCOUNT_DIR/password" ]; then
  printf '%s' "$(head -c 18 /dev/urandom | base64 | tr -d '/+=\n')" > "$ACCOUNT_DIR/password"
  chmod 600 "$ACCOUNT_DIR/password"
fi
id "$ACCOUNT" > /dev/null 2>&1 || useradd --no-create-home --home-dir / --shell /bin/sh "$ACCOUNT"
printf '%s:%s\n' "$ACCOUNT" "$(cat "$ACCOUNT_DIR/password")" | chpasswd
flock -u 8
PASSWORD="$(cat "$ACCOUNT_DIR/password")"

# --- The tree ---------------------------------------------------------------
GENDATA=""
[ -n "$SMALL_FILES" ] || GENDATA="$HERE/gendata.py"
if [ -n "$GENDATA" ]; then
  "$PYTHON" "$GENDATA" "${DATA_SET:-small}" "$WORK/data" > /dev/null
else
  "$PYTHON" - "$WORK/data" "${SMALL_FILES:-5000}" <<'PY'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rnd = random.Random(7)
for i in range(count):
    d = os.path.join(root, "folder %02d" % (i % 100))
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "file %05d.bin" % i), "wb") as f:
        f.write(rnd.randbytes(rnd.randint(1024, 16384)))
PY
fi
echo "tree:     $(find "$WORK/data" -type f | wc -l) files in $(find "$WORK/data" -mindepth 1 -type d | wc -l) folders ($(du -sh "$WORK/data" | cut -f1))"

# --- Certificates, host key, known hosts --------------------------------------
cd "$WORK"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Tessary Bench CA" 2> /dev/null
openssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=127.0.0.1" 2> /dev/null
printf 'subjectAltName=IP:127.0.0.1\n' > server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2 \
  -extfile server.ext 2> /dev/null
# The system's certificates and the test authority, as Debian lays them out.
mkdir "$WORK/certs"
cp -a /etc/ssl/certs/. "$WORK/certs/"
cat ca.pem >> "$WORK/certs/ca-certificates.crt"
cp ca.pem "$WORK/certs/$(openssl x509 -hash -noout -in ca.pem).0"
ssh-keygen -q -t ed25519 -N '' -f host_key
mkdir -p /run/sshd "$WORK/empty" "$WORK/home/.ssh"

free_port() { "$PYTHON" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
wait_port() {  # port
  "$PYTHON" - "$1" <<'PY'
import socket, sys, time
deadline = time.time() + 10
while time.time() < deadline:
    try:
        socket.create_connection(("127.0.0.1", int(sys.argv[1])), 0.2).close()
        sys.exit(0)
    except OSError:
        time.sleep(0.05)
sys.exit(1)
PY
}
start() {  # log command...
  local log="$1"; shift
  setsid "$@" > "$log" 2>&1 &
  PIDS+=("$!")
}

vsftpd_conf() {  # name port ssl
  cat > "$WORK/$1.conf" <<EOF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$2
background=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_umask=022
pam_service_name=vsftpd
seccomp_sandbox=NO
secure_chroot_dir=$WORK/empty
local_root=$WORK/srv-$1
ssl_enable=$3
force_local_logins_ssl=YES
force_local_data_ssl=YES
rsa_cert_file=$WORK/server.pem
rsa_private_key_file=$WORK/server.key
xferlog_enable=NO
syslog_enable=NO
EOF
}

declare -A PORT
for name in ftp ftps sftp; do
  mkdir -p "$WORK/srv-$name"
  chown "$ACCOUNT" "$WORK/srv-$name"
  PORT[$name]="$(free_port)"
done
vsftpd_conf ftp "${PORT[ftp]}" NO
vsftpd_conf ftps "${PORT[ftps]}" YES
cat > "$WORK/sshd.conf" <<EOF
ListenAddress 127.0.0.1
Port ${PORT[sftp]}
HostKey $WORK/host_key
PidFile none
UsePAM no
PasswordAuthentication yes
KbdInteractiveAuthentication no
PubkeyAuthentication no
PermitRootLogin no
AllowUsers $ACCOUNT
StrictModes no
Subsystem sftp internal-sftp
ForceCommand internal-sftp
EOF
start "$WORK/vsftpd-ftp.log" /usr/sbin/vsftpd "$WORK/ftp.conf"
start "$WORK/vsftpd-ftps.log" /usr/sbin/vsftpd "$WORK/ftps.conf"
start "$WORK/sshd.log" /usr/sbin/sshd -D -e -f "$WORK/sshd.conf"
for name in ftp ftps sftp; do
  wait_port "${PORT[$name]}" || { echo "the $name server did not start" >&2; cat "$WORK"/*.log >&2; exit 1; }
done
if [ "$WAN_DELAY_MS" != 0 ]; then
  proxy="$(free_port)"
  setsid "$PYTHON" "$HERE/wan-proxy.py" "$proxy" "${PORT[sftp]}" --delay-ms "$WAN_DELAY_MS" > "$WORK/proxy.log" 2>&1 &
  PIDS+=("$!")
  wait_port "$proxy" || { echo "the proxy did not start" >&2; cat "$WORK/proxy.log" >&2; exit 1; }
  PORT[sftp]="$proxy"
fi
ssh-keyscan -p "${PORT[sftp]}" 127.0.0.1 > "$WORK/home/.ssh/known_hosts" 2> /dev/null
echo "servers:  ftp 127.0.0.1:${PORT[ftp]}, ftps 127.0.0.1:${PORT[ftps]}, sftp 127.0.0.1:${PORT[sftp]}" \
  "$([ "$WAN_DELAY_MS" = 0 ] || echo "(through a proxy holding every byte $WAN_DELAY_MS ms each way)")"

# --- One program folder per transport: the executable and a fresh store -----
make_app() {  # name connections
  local app="$WORK/app-$1"
  # The server's folder stays (the account's, the profile's remote directory); what an earlier run sent goes.
  rm -rf "$app"
  find "$WORK/srv-$1" -mindepth 1 -delete
  mkdir -p "$app"
  cp "$TESSARY" "$app/tessary"
  cp "$(dirname "$TESSARY")/tessary-gui" "$app/tessary-gui"
  "$PYTHON" - "$app/information.mdb" "$REPO/store/schema.sql" "$1://127.0.0.1" "${PORT[$1]}" "$ACCOUNT" \
    "$PASSWORD" "$WORK/srv-$1" "$WORK/data" "$2" <<'PY'
import os, sqlite3, sys
db, schema, host, port, user, password, directory, folder, connections = sys.argv[1:]
c = sqlite3.connect(db)
c.executescript(open(schema).read())
c.execute("insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes, FTPConnections) "
          "values (?, ?, ?, ?, ?, '', ?)", (host, port, user, password, directory, connections))
c.execute("insert into Tessary (Folder, SettingsID, SubDirs) values (?, '1', 'YES')", (folder,))
c.commit()
c.close()
os.chmod(db, 0o600)
PY
}

run_sync() {  # name -> prints seconds
  local app="$WORK/app-$1" start end status
  start="$(date +%s.%N)"
  set +e
  # The test authority is trusted in this run's own mount namespace only.
  env -u DISPLAY -u WAYLAND_DISPLAY HOME="$WORK/home" timeout "$RUN_LIMIT" unshare -m sh -c \
    'mount --bind "$1" /etc/ssl/certs && exec "$2" /SYNC' sh "$WORK/certs" "$app/tessary" \
    > "$WORK/log-$1.txt" 2>&1
  status=$?
  set -e
  end="$(date +%s.%N)"
  if [ "$status" -ne 0 ]; then
    echo "tessary /SYNC over $1 exited with $status; its log:" >&2
    tail -20 "$WORK/log-$1.txt" >&2
    exit 1
  fi
  "$PYTHON" -c "import sys; print('%.2f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$start" "$end"
}

printf '\n%-6s %11s %12s %8s\n' scheme connections "first run" sent
for name in $SCHEMES; do
  first=""
  for n in $CONNECTIONS; do
    make_app "$name" "$n"
    seconds="$(run_sync "$name")"
    if ! diff -rq -x .tessary-manifest.md5 "$WORK/data" "$WORK/srv-$name$WORK/data" > /dev/null; then
      echo "the $name server's copy differs from the local tree" >&2
      exit 1
    fi
    printf '%-6s %11s %11ss %8s\n' "$name" "$n" "$seconds" "$(grep -c ' has changed$' "$WORK/log-$name.txt" || true)"
    [ -n "$first" ] || first="$seconds"
  done
  if [ "$first" != "$seconds" ] && [ "$(echo $CONNECTIONS | wc -w)" -gt 1 ]; then
    "$PYTHON" -c "import sys; print('%-6s %s over %s connections: %.2fx the time over %s' % (sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[5]) / float(sys.argv[4]), sys.argv[6]))" \
      "$name" "last" "${CONNECTIONS##* }" "$first" "$seconds" "${CONNECTIONS%% *}"
  fi
done
echo "(one first upload each, warm page cache; every server's copy matched the tree)"
