#!/usr/bin/env bash
# compare.sh - time Tessary's unattended run next to other FTP upload and
# sync tools ("peers") against a local vsftpd, in one run, interleaved.
#
#   bench/compare.sh                       # built tessary, lftp, ncftpput, curl; 3 rounds
#   ROUNDS=5 SETS="small names" PEERS="lftp rclone tessary" bench/compare.sh
#
# Per data set and round every peer runs, peers interleaved so that machine
# noise hits all of them alike:
#   i-full    first upload, remote folder empty (and tool state reset)
#   ii-none   rerun, nothing changed
#   iii-1pct  rerun after changing 1% of the files (at least 1 file)
# After i and iii the remote tree is compared with the local one (names,
# sizes, and the bytes of the changed files): "bad" = most mismatches in a round.
# "up" is the number of STORs the server logged for that step.
# The table gives median wall time, min-max, median client CPU (user+sys)
# and the median of the per-round ratio to the reference peer (REF).
# Then the local limits: walk, read and md5 speed of each set, page cache warm.
#
# Needs (Debian 12, as root): vsftpd lftp rclone ncftp curl hyperfine time
# python3. vsftpd conflicts with the other FTP server packages; if it is not
# installed, its .deb is unpacked under $BENCH_DIR instead (apt-get download).
# Everything lives under $BENCH_DIR (default /tmp/benchexp) and is removed at
# exit unless KEEP=1 (the raw results stay in $BENCH_DIR/last-results.tsv).
# Only 127.0.0.1 is used.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
BENCH_DIR=${BENCH_DIR:-/tmp/benchexp}
PORT=${PORT:-2141}                   # control port
PASV_MIN=${PASV_MIN:-30100}; PASV_MAX=${PASV_MAX:-30499}
ROUNDS=${ROUNDS:-3}
SETS=${SETS:-"small large tiny10k tiny names"}
PEERS=${PEERS:-"lftp lftp_p4 ncftpput curl"}
REF=${REF:-ncftpput}                 # ratio column = peer / REF, same round
CHANGE_PCT=${CHANGE_PCT:-1}
MUTATE=${MUTATE:-append}             # append (size changes) | inplace (same size)
KEEP=${KEEP:-0}
PEER_TIMEOUT=${PEER_TIMEOUT:-300}    # seconds; one run of one peer
# The step across a delayed link: vsftpd reached through bench/wan-proxy.py,
# which holds every byte WAN_DELAY_MS each way (data connections too); 0 skips it.
WAN_DELAY_MS=${WAN_DELAY_MS:-10}
WAN_PORT=${WAN_PORT:-$((PORT + 1))}
WAN_SETS=${WAN_SETS:-wan}
WAN_PEERS=${WAN_PEERS:-"lftp_p4 rclone tessary_c1 tessary"}
WAN_ROUNDS=${WAN_ROUNDS:-2}
WAN_REF=${WAN_REF:-lftp_p4}
REPO=$(cd "$HERE/.." && pwd)
TESSARY_BIN=${TESSARY_BIN:-$REPO/build/tessary}
export TESSARY_SCHEMA=${TESSARY_SCHEMA:-$REPO/store/schema.sql}
TESSARY_PREFILL=${TESSARY_PREFILL:-$HERE/tessary-prefill.sh}
if [[ -x $TESSARY_BIN && $PEERS != *tessary* ]]; then PEERS="$PEERS tessary"; fi

SRV=$BENCH_DIR/srv                   # FTP root (tmpfs); uploads go to $SRV/upload
DATA=$BENCH_DIR/data
RUN=$BENCH_DIR/run
RES=$RUN/results.tsv                 # set peer step round wall cpu up bad
HOST=127.0.0.1
URL=ftp://$HOST:$PORT

log() { printf '%s\n' "$*" >&2; }

# ---------------------------------------------------------------- server --
VSFTPD=${VSFTPD:-/usr/sbin/vsftpd}
VSFTPD_LIBS=
find_vsftpd() {   # use the installed vsftpd, or unpack the .debs (no install)
  [[ -x $VSFTPD ]] && return
  local pkg=$BENCH_DIR/pkg d
  log "no $VSFTPD: unpacking vsftpd and its less common libraries under $pkg"
  mkdir -p "$pkg"
  (cd "$pkg" && apt-get download -q vsftpd libwrap0 libnsl2 libtirpc3 >&2)
  for d in "$pkg"/*.deb; do dpkg-deb -x "$d" "$pkg"; done
  VSFTPD=$pkg/usr/sbin/vsftpd
  VSFTPD_LIBS=$(printf '%s:' "$pkg"/lib/*-linux-gnu "$pkg"/usr/lib/*-linux-gnu)
}

start_server() {
  find_vsftpd
  if ss -ltn "sport = :$PORT" | grep -q LISTEN; then log "port $PORT is busy (set PORT=...)"; exit 1; fi
  getent passwd ftp >/dev/null || useradd --system --no-create-home -s /usr/sbin/nologin ftp
  mkdir -p "$SRV" "$BENCH_DIR/empty"
  # tmpfs, so that the server's disk writes are not what we measure
  if mount -t tmpfs -o size=8g,mode=755 benchsrv "$SRV"; then SRV_MOUNTED=1
  else log "tmpfs mount failed; serving from disk"; fi
  install -d -o ftp -g ftp -m 755 "$SRV/upload"
  chmod 755 "$SRV" "$BENCH_DIR/empty"
  cat > "$RUN/vsftpd.conf" <<EOF
listen=YES
listen_ipv6=NO
listen_address=$HOST
listen_port=$PORT
background=NO
anonymous_enable=YES
no_anon_password=YES
local_enable=NO
anon_root=$SRV
ftp_username=ftp
write_enable=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
anon_umask=022
pasv_enable=YES
pasv_address=$HOST
pasv_min_port=$PASV_MIN
pasv_max_port=$PASV_MAX
port_enable=NO
connect_from_port_20=NO
secure_chroot_dir=$BENCH_DIR/empty
seccomp_sandbox=NO
xferlog_enable=YES
xferlog_std_format=YES
xferlog_file=$RUN/xfer.log
max_clients=100
max_per_ip=100
utf8_filesystem=YES
EOF
  : > "$RUN/xfer.log"
  LD_LIBRARY_PATH=$VSFTPD_LIBS "$VSFTPD" "$RUN/vsftpd.conf" > "$RUN/vsftpd.out" 2>&1 &
  SERVER_PID=$!; echo "$SERVER_PID" > "$RUN/vsftpd.pid"    # for manual clean-up after kill -9
  for _ in $(seq 50); do
    if curl -s --max-time 1 "$URL/" -o /dev/null; then return; fi
    sleep 0.1
  done
  log "vsftpd did not start:"; cat "$RUN/vsftpd.out" >&2; exit 1
}

cleanup() {
  set +e
  if [[ -n ${PROXY_PID:-} ]]; then kill "$PROXY_PID"; wait "$PROXY_PID"; fi 2>/dev/null
  if [[ -n ${SERVER_PID:-} ]]; then kill "$SERVER_PID"; wait "$SERVER_PID"; fi 2>/dev/null
  if [[ -n ${SRV_MOUNTED:-} ]]; then umount "$SRV"; fi
  if [[ -f $RES ]]; then cp "$RES" "$BENCH_DIR/last-results.tsv"; fi
  if [[ $KEEP == 1 ]]; then log "kept $BENCH_DIR"
  else rm -rf "$DATA" "$SRV" "$RUN" "$BENCH_DIR/empty" "$BENCH_DIR/pkg" "$BENCH_DIR/store" "$BENCH_DIR/store1"; fi
}

# ----------------------------------------------------------------- peers --
# peer_NAME SRC DEST: make $SRV/upload/DEST mirror the local folder SRC.
# reset_NAME SRC DEST (optional): forget all state before an i-full run.
# Peers are run by `bash -c` under /usr/bin/time: they may use only the
# variables exported in main. FULL_ONLY peers have no change detection:
# only i-full is timed for them.
FULL_ONLY=" ncftpput curl curl_loop "

LFTP_SET='set cmd:fail-exit yes; set net:max-retries 2; set ftp:ssl-allow no; set xfer:clobber yes'
peer_lftp()    { lftp -c "$LFTP_SET; open -u anonymous,x -p $PORT $HOST; mirror -R --no-perms '$1' 'upload/$2'"; }
peer_lftp_p2() { lftp -c "$LFTP_SET; open -u anonymous,x -p $PORT $HOST; mirror -R --no-perms --parallel=2 '$1' 'upload/$2'"; }
peer_lftp_p4() { lftp -c "$LFTP_SET; open -u anonymous,x -p $PORT $HOST; mirror -R --no-perms --parallel=4 '$1' 'upload/$2'"; }

# rclone with no config file. writing_mdtm: vsftpd sets times by MDTM; without
# it every upload logs "SetModTime is not supported" and reruns compare sizes
# only (same-size edits are missed). encoding: rclone's documented VsFTPd value.
RCLONE_REMOTE=":ftp,host=$HOST,port=$PORT,user=anonymous,pass=@PASS@,writing_mdtm=true,encoding='Ctl,LeftPeriod,Slash'"
peer_rclone()    { RCLONE_CONFIG=$RUN/none.conf rclone copy -q "$1" "$RCLONE_REMOTE:upload/$2"; }
peer_rclone_j1() { RCLONE_CONFIG=$RUN/none.conf rclone copy -q --transfers 1 --checkers 1 "$1" "$RCLONE_REMOTE:upload/$2"; }

# ncftpput -R creates DIR/basename(SRC); DEST is always PEER/SET, so DIR=PEER.
peer_ncftpput() { ncftpput -R -m -V -P "$PORT" -u anonymous -p x "$HOST" "/upload/${2%/*}" "$1"; }

# curl: one process, one control connection, every file listed in a -K config.
# NB curl 7.88.1 (Debian 12) sometimes waits exactly 1 s between the EPSV
# reply and the data connect; how often depends on timing (with -v: almost
# every file). Its median can jump; compare its min too.
peer_curl() {
  python3 - "$1" "$URL/upload/$2/" <<'EOF' | curl -sS -g --ftp-create-dirs -K -
import os, sys, urllib.parse
src, base = sys.argv[1], sys.argv[2]
q = lambda s: '"' + s.replace('\\', '\\\\').replace('"', '\\"').replace('\t', '\\t') + '"'
for dp, dn, fn in os.walk(src):
    for f in fn:
        p = os.path.join(dp, f)
        print("upload-file =", q(p))
        print("url =", q(base + urllib.parse.quote(os.path.relpath(p, src), safe="/")))
EOF
}

# curl_loop (not in the default PEERS): one curl process, so one connection
# and login, per file - what a naive script does.
peer_curl_loop() {
  python3 -c '
import os, sys, urllib.parse
for dp, dn, fn in os.walk(sys.argv[1]):
    for f in fn:
        p = os.path.join(dp, f)
        sys.stdout.write(p + "\0" + sys.argv[2] + urllib.parse.quote(os.path.relpath(p, sys.argv[1]), safe="/") + "\0")
' "$1" "$URL/upload/$2/" | while IFS= read -r -d '' f && IFS= read -r -d '' u; do
    curl -sS -g --ftp-create-dirs -T "$f" "$u" || true
  done
}

# ---- Tessary ----------------------------------------------------------------
# Row "tessary" (TESSARY_BIN, the built program by default). It takes its job
# from its store, so before every i-full run reset_tessary makes a fresh
# application folder with bench/tessary-prefill.sh: the program, a store with
# one anonymous profile (remote folder /upload/tessary/SET) and one recursive
# job over SRC, and an empty file table.
TESSARY_STORE=$BENCH_DIR/store
reset_tessary() {
  rm -rf "$TESSARY_STORE"; mkdir -p "$TESSARY_STORE"
  # the profile's remote directory must exist: changing into it is the login check
  install -d -o ftp -g ftp "$SRV/upload/$2"
  "$TESSARY_PREFILL" "$TESSARY_STORE" "$1" "$HOST" "$PORT" "/upload/$2"
}
# Tessary keeps its store beside its executable: the prefill (bench/tessary-prefill.sh)
# copies the executable into STORE_HOME, which becomes its application folder.
peer_tessary() {
  ( cd / && env -u DISPLAY ${TESSARY_WRAP:-} "$TESSARY_STORE/tessary" /SYNC )
}
# Row "tessary_c1": the same over one connection, for the ratio of several to one.
TESSARY_STORE1=$BENCH_DIR/store1
reset_tessary_c1() {
  rm -rf "$TESSARY_STORE1"; mkdir -p "$TESSARY_STORE1"
  install -d -o ftp -g ftp "$SRV/upload/$2"
  TESSARY_CONNECTIONS=1 "$TESSARY_PREFILL" "$TESSARY_STORE1" "$1" "$HOST" "$PORT" "/upload/$2"
}
peer_tessary_c1() { ( cd / && env -u DISPLAY "$TESSARY_STORE1/tessary" /SYNC ); }
# Tessary's checks of a backup made by peer_tessary: a verifying run, and a
# restore of the job of SRC into DEST (a local folder here).
peer_tessary_verify() { ( cd / && env -u DISPLAY "$TESSARY_STORE/tessary" /VERIFY ); }
peer_tessary_restore() { ( cd / && "$TESSARY_STORE/tessary" /RESTORE "$1" "$2" ); }
# curl fetching every file of the remote folder DEST (a copy of the local
# folder $RUN/restore-list.src) into SRC, one after another over one
# connection: the restore's reference.
peer_curl_get() {
  (cd "$RUN/restore-list.src/" && find . -type f -printf '%P\n') | while IFS= read -r f; do
    printf 'url = "%s/%s"\noutput = "%s/%s"\n' "$URL" "$2/$f" "$1" "$f"
  done > "$RUN/curl-get.cfg"
  curl -s --create-dirs -K "$RUN/curl-get.cfg"
}
# -----------------------------------------------------------------------------

# ----------------------------------------------------------------- steps --
uploads() { wc -l < "$RUN/xfer.log"; }

# timed PEER SRC DEST -> sets WALL (s), CPU (client user+sys s), UP (STORs logged)
timed() {
  local peer=$1 before t0 t1 rc=0
  before=$(uploads)
  t0=$EPOCHREALTIME
  timeout -k 5 "$PEER_TIMEOUT" /usr/bin/time -f '%U %S %M' -o "$RUN/cpu" \
    bash -c 'peer_$0 "$1" "$2"' "$peer" "$2" "$3" > "$RUN/$peer.out" 2>&1 || rc=$?
  t1=$EPOCHREALTIME
  WALL=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
  CPU=$(awk '/^[0-9.]+ [0-9.]+ [0-9]+$/ { c = $1 + $2 } END { printf "%.2f", c }' "$RUN/cpu")
  RSS=$(awk '/^[0-9.]+ [0-9.]+ [0-9]+$/ { m = $3 } END { printf "%.0f", m / 1024 }' "$RUN/cpu")
  UP=$(( $(uploads) - before ))
  if (( rc == 124 )); then log "  $peer timed out after $PEER_TIMEOUT s"
  elif (( rc )); then log "  $peer exited $rc:"; tail -n 3 "$RUN/$peer.out" | cut -c1-200 >&2; fi
}

# verify SRC DEST: number of (name, size) pairs that differ, plus the changed
# files (listed in $RUN/changed) whose bytes differ. Tessary's manifest is
# no copy of a file.
verify() {
  local src=$1 dst=$SRV/upload/$2 bad
  bad=$(diff <(cd "$src" && find . -type f -printf '%P\t%s\n' | LC_ALL=C sort) \
             <(cd "$dst" 2>/dev/null && find . -type f ! -name .tessary-manifest.md5 -printf '%P\t%s\n' | LC_ALL=C sort) \
        | grep -c '^[<>]' || true)
  while IFS= read -r f; do
    cmp -s "$src/$f" "$dst/$f" || bad=$((bad + 1))
  done < "$RUN/changed"
  echo "$bad"
}

record() { printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$@" >> "$RES"; }

run_peer() {   # run_peer SET PEER ROUND
  local set=$1 peer=$2 r=$3 src=$DATA/$1 dest=$2/$1 bad
  rm -rf "${SRV:?}/upload/$peer"
  install -d -o ftp -g ftp "$SRV/upload/$peer"
  if declare -F "reset_$peer" >/dev/null && ! "reset_$peer" "$src" "$dest"; then
    log "  $peer: reset failed, skipped"; return
  fi
  : > "$RUN/changed"
  # Tessary puts each file under the remote directory followed by its full local folder path
  local vdest=$dest; [[ $peer == tessary* ]] && vdest=$dest$src
  timed "$peer" "$src" "$dest"; bad=$(verify "$src" "$vdest")
  record "$set" "$peer" i-full "$r" "$WALL" "$CPU" "$UP" "$bad" "$RSS"
  if [[ $FULL_ONLY != *" $peer "* ]]; then
    timed "$peer" "$src" "$dest"
    record "$set" "$peer" ii-none "$r" "$WALL" "$CPU" "$UP" - "$RSS"
    GEN=$((GEN + 1))
    python3 "$HERE/gendata.py" mutate "$src" "$CHANGE_PCT" "$GEN" "$MUTATE" > "$RUN/changed"
    sync
    timed "$peer" "$src" "$dest"; bad=$(verify "$src" "$vdest")
    record "$set" "$peer" iii-1pct "$r" "$WALL" "$CPU" "$UP" "$bad" "$RSS"
  fi
  rm -rf "${SRV:?}/upload/$peer"      # keep the tmpfs small
}

# ------------------------------------------------------------ local limits --
limits() {
  local set list n mb
  for set in $SETS; do
    list=$RUN/files.$set
    (cd "$DATA/$set" && find . -type f -print0) > "$list"
    n=$(tr -cd '\0' < "$list" | wc -c)
    mb=$(du -sb "$DATA/$set" | awk '{ printf "%.1f", $1 / 1e6 }')
    # md5sum-P2: two md5sum processes at once (the machine has 2 cores)
    (cd "$DATA/$set" && hyperfine -N --style none -w 1 -r 7 --export-csv "$RUN/lim.$set.csv" \
      -n walk        "find . -type f -printf x" \
      -n cat         "xargs -0 -a $list cat" \
      -n md5sum      "xargs -0 -a $list md5sum" \
      -n md5sum-P2   "xargs -0 -a $list -P 2 -n $(( n > 64 ? n / 2 + 1 : 1 )) md5sum" \
      -n openssl-md5 "xargs -0 -a $list openssl md5" > /dev/null 2>&1) \
      || { log "hyperfine failed for $set"; continue; }
    # csv: command,mean,stddev,median,user,system,min,max
    awk -F, -v set="$set" -v mb="$mb" -v n="$n" 'NR > 1 {
      rate = $1 == "walk" ? "     -" : sprintf("%6.0f", mb / $4)
      printf "%-6s %-12s %8.3f s  %s MB/s  %7.0f files/s  min-max %.3f-%.3f\n",
             set, $1, $4, rate, n / $4, $7, $8 }' "$RUN/lim.$set.csv"
  done
}

# --------------------------------------------------------------- GUI gaps --
# The main window shown offscreen during a first and a no-change run: the
# longest time its thread went without handling events.
GUIGAP=${GUIGAP:-$(dirname "$TESSARY_BIN")/bench/tessary-guigap}
gui_gaps() {
  [[ -x $GUIGAP ]] || { log "no $GUIGAP: GUI gaps not measured"; return; }
  local set step
  for set in $SETS; do
    rm -rf "${SRV:?}/upload/tessary"; install -d -o ftp -g ftp "$SRV/upload/tessary"
    reset_tessary "$DATA/$set" "tessary/$set" || continue
    for step in i-full ii-none; do
      printf '%-8s %-8s ' "$set" "$step"
      (cd / && env -u DISPLAY "$GUIGAP" "$TESSARY_STORE" | tail -n 1 | tee -a "$RUN/gaps")
    done
  done
  rm -rf "${SRV:?}/upload/tessary"
}

# ------------------------------------------------------- verify and restore --
# After the rounds, Tessary's checks of a backup, CHECK_ROUNDS times each:
# /VERIFY of the small set with nothing missing, beside a no-change run and
# a listing of every remote folder over one connection (lftp find); and a
# restore of the large set, beside curl fetching its files one after
# another. The restored trees are compared with the local one.
CHECK_ROUNDS=${CHECK_ROUNDS:-3}
checks() {
  local set=$1 r t0 src=$DATA/$1 remote=upload/tessary/$1$DATA/$1 back=$BENCH_DIR/restore
  rm -rf "${SRV:?}/upload/tessary"; install -d -o ftp -g ftp "$SRV/upload/tessary"
  reset_tessary "$src" "tessary/$set" || return
  : > "$RUN/changed"
  timed tessary "$src" "tessary/$set"
  [[ $(verify "$src" "tessary/$set$src") == 0 ]] || log "  $set: the backup to check is not whole"
  for r in $(seq "$CHECK_ROUNDS"); do
    log "checks round $r/$CHECK_ROUNDS  $set"
    if [[ $set == small ]]; then
      timed tessary "$src" "tessary/$set"; record "$set" tessary_none ii-none "$r" "$WALL" "$CPU" "$UP" - "$RSS"
      timed tessary_verify "$src" "tessary/$set"; record "$set" tessary_verify ii-none "$r" "$WALL" "$CPU" "$UP" - "$RSS"
      t0=$EPOCHREALTIME
      lftp -c "$LFTP_SET; open -u anonymous,x -p $PORT $HOST; find '$remote'" > /dev/null
      record "$set" lftp_find ii-none "$r" "$(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }')" - - - -
      find "$SRV/$remote" -type d | wc -l > "$RUN/folders.$set"
    else
      rm -rf "$back" "$back.curl"; ln -sfn "$src" "$RUN/restore-list.src"
      timed tessary_restore "$src" "$back"
      record "$set" tessary_restore restore "$r" "$WALL" "$CPU" - "$(diff -r -q "$src" "$back" | wc -l)" "$RSS"
      timed curl_get "$back.curl" "$remote"
      record "$set" curl_get restore "$r" "$WALL" "$CPU" - "$(diff -r -q "$src" "$back.curl" | wc -l)" "$RSS"
    fi
  done
  rm -rf "${SRV:?}/upload/tessary" "$back" "$back.curl"
}

check_targets() {
  python3 - "$RES" "$RUN" <<'EOF'
import os, statistics as st, sys
from collections import defaultdict
wall, bad = defaultdict(list), defaultdict(list)
for line in open(sys.argv[1]):
    s, p, step, r, w, cpu, up, b, m = line.rstrip("\n").split("\t")
    wall[s, p, step].append(float(w))
    if b not in ("-", ""): bad[s, p].append(int(b))
med = lambda *k: st.median(wall[k]) if wall.get(k) else None
folders = os.path.join(sys.argv[2], "folders.small")
verify, none = med("small", "tessary_verify", "ii-none"), med("small", "tessary_none", "ii-none")
listing = med("small", "lftp_find", "ii-none")
if None not in (verify, none, listing):
    n = open(folders).read().strip() if os.path.exists(folders) else "?"
    limit = 2 * none + listing
    print(f"  /VERIFY, small set, nothing missing  {verify:.3f} s  <= 2 x {none:.3f} (no change) + {listing:.3f}"
          f" (lftp lists its {n} folders) = {limit:.3f}  {'met' if verify <= limit else 'MISSED'}")
restore, curl = med("large", "tessary_restore", "restore"), med("large", "curl_get", "restore")
if None not in (restore, curl):
    speed = curl / restore
    print(f"  restore of the large set             {restore:.3f} s, curl one after another {curl:.3f} s:"
          f" {speed:.2f}x its speed, >= 0.7  {'met' if speed >= 0.7 else 'MISSED'}")
    print(f"  files differing after the restore: {max(bad[('large', 'tessary_restore')], default='-')}"
          f" (curl: {max(bad[('large', 'curl_get')], default='-')})")
EOF
}

# ---------------------------------------------------------------- targets --
targets() {
  python3 - "$RES" "$RUN" <<'EOF'
import csv, os, statistics as st, sys
from collections import defaultdict
res, run = sys.argv[1], sys.argv[2]
wall, rss = defaultdict(list), defaultdict(list)
by_round = defaultdict(dict)
for line in open(res):
    s, p, step, r, w, cpu, up, bad, m = line.rstrip("\n").split("\t")
    wall[s, p, step].append(float(w)); rss[s, p, step].append(int(m)); by_round[s, step, r][p] = float(w)
def med(s, step, p="tessary"):
    v = wall.get((s, p, step)); return st.median(v) if v else None
def floor(s):
    f = os.path.join(run, f"lim.{s}.csv")
    if not os.path.exists(f): return None
    for row in csv.DictReader(open(f)):
        if row["command"] == "md5sum-P2": return float(row["median"])
checks = []
def check(what, value, limit, unit="s"):
    if value is None or limit is None: checks.append((what, "-", "-", "not measured")); return
    checks.append((what, f"{value:.3f} {unit}", f"{limit:.3f} {unit}", "met" if value <= limit else "MISSED"))
def per_round(s, step, peer):
    r = [by_round[k]["tessary"] / by_round[k][peer] for k in by_round
         if k[:2] == (s, step) and peer in by_round[k] and "tessary" in by_round[k]]
    return st.median(r) if r else None
check("small first upload / ncftpput", per_round("small", "i-full", "ncftpput"), 0.5, "x")
check("small first upload / lftp -P4", per_round("small", "i-full", "lftp_p4"), 0.8, "x")
check("small no change", med("small", "ii-none"), 0.20)
check("small 1% changed", med("small", "iii-1pct"), 0.25)
fl = floor("large")
check("large first upload", med("large", "i-full"), 1.4 * fl if fl else None)
check("large no change", med("large", "ii-none"), 1.1 * fl if fl else None)
check("tiny first upload", med("tiny", "i-full"), 60)
check("tiny no change", med("tiny", "ii-none"), 2.5)
m = max(rss.get(("tiny", "tessary", "i-full"), []) + rss.get(("tiny", "tessary", "ii-none"), []), default=None)
check("tiny peak memory", m, 64, "MB")
for step in ("i-full", "ii-none"):
    a, b = med("tiny", step), med("tiny10k", step)
    check(f"tiny 100k/10k {step}", a / b if a and b else None, 11, "x")
gaps = os.path.join(run, "gaps")
if os.path.exists(gaps):
    check("longest GUI gap", max(float(l.split()[1]) for l in open(gaps)), 50, "ms")
    saves = [float(l.split()[7]) for l in open(gaps) if len(l.split()) > 7 and l.split()[7] != "-"]
    check("a profile saved during a run", max(saves) if saves else None, 100, "ms")
print(f"{'target':32} {'measured':>12} {'limit':>12}  result")
for c in checks: print(f"{c[0]:32} {c[1]:>12} {c[2]:>12}  {c[3]}")
EOF
}

# ------------------------------------------------------------------ table --
table() {
  python3 - "$RES" "$REF" "$SETS" "$PEERS" <<'EOF'
import statistics as st, sys
from collections import defaultdict
res, ref, sets, peers = sys.argv[1], sys.argv[2], sys.argv[3].split(), sys.argv[4].split()
rows = defaultdict(list)               # (set, step, peer) -> [(round, wall, cpu, up, bad)]
for line in open(res):
    s, p, step, r, wall, cpu, up, bad, rss = line.rstrip("\n").split("\t")
    rows[s, step, p].append((r, float(wall), float(cpu), int(up), 0 if bad == "-" else int(bad), int(rss)))
print(f"{'set':6} {'step':8} {'peer':10} {'median':>7} {'min-max':>15} {'cpu':>6} {'up':>6} {'bad':>4} {'MB':>5} {'x' + ref:>7}")
for s in sets:
    for step in ("i-full", "ii-none", "iii-1pct"):
        for p in peers:
            v = rows.get((s, step, p))
            if not v:
                continue
            wall = [x[1] for x in v]
            base = {x[0]: x[1] for x in rows.get((s, step, ref), [])}
            ratio = [x[1] / base[x[0]] for x in v if base.get(x[0])]
            print(f"{s:6} {step:8} {p:10} {st.median(wall):7.3f} {min(wall):7.3f}-{max(wall):<7.3f}"
                  f" {st.median(x[2] for x in v):6.2f} {st.median(x[3] for x in v):6.0f}"
                  f" {max(x[4] for x in v):4d} {max(x[5] for x in v):5d} {st.median(ratio) if ratio else float('nan'):7.2f}")
    print()
EOF
}

# ------------------------------------------------------------------- WAN --
# The same steps for WAN_PEERS through the proxy, in a table of their own,
# ratios to lftp with four connections.
wan_step() {
  python3 "$HERE/wan-proxy.py" "$WAN_PORT" "$PORT" --ftp --delay-ms "$WAN_DELAY_MS" > "$RUN/proxy.out" 2>&1 &
  PROXY_PID=$!
  for _ in $(seq 50); do ss -ltn "sport = :$WAN_PORT" | grep -q LISTEN && break; sleep 0.1; done
  RCLONE_REMOTE=${RCLONE_REMOTE/port=$PORT,/port=$WAN_PORT,}
  PORT=$WAN_PORT URL=ftp://$HOST:$WAN_PORT
  export RCLONE_REMOTE PORT URL
  for set in $WAN_SETS; do [[ -d $DATA/$set ]] || python3 "$HERE/gendata.py" "$set" "$DATA/$set"; done
  RES=$RUN/wan.tsv; : > "$RES"
  for r in $(seq "$WAN_ROUNDS"); do
    for set in $WAN_SETS; do
      find "$DATA/$set" -type f -print0 | xargs -0 cat > /dev/null
      for peer in $WAN_PEERS; do log "WAN round $r/$WAN_ROUNDS  $set  $peer"; run_peer "$set" "$peer" "$r"; done
    done
  done
  echo
  echo "== across a delayed link: $WAN_DELAY_MS ms each way (round trip $((2 * WAN_DELAY_MS)) ms), $WAN_ROUNDS rounds"
  echo "   x$WAN_REF = median over rounds of (wall / $WAN_REF's wall in the same round)"
  REF=$WAN_REF SETS=$WAN_SETS PEERS=$WAN_PEERS table
  echo "== WAN targets"
  python3 - "$RES" <<'EOF'
import statistics as st, sys
from collections import defaultdict
wall, by_round = defaultdict(list), defaultdict(dict)
for line in open(sys.argv[1]):
    s, p, step, r, w, *_ = line.rstrip("\n").split("\t")
    wall[p, step].append(float(w)); by_round[step, r][p] = float(w)
def ratio(step, a, b):
    v = [x[a] / x[b] for (s, r), x in by_round.items() if s == step and a in x and b in x]
    return st.median(v) if v else None
def med(p, step):
    return st.median(wall[p, step]) if wall.get((p, step)) else None
for what, value, limit in [("first upload / lftp --parallel=4", ratio("i-full", "tessary", "lftp_p4"), 0.6),
                           ("first upload / Tessary over 1 connection", ratio("i-full", "tessary", "tessary_c1"), None),
                           ("nothing changed (s)", med("tessary", "ii-none"), 0.5),
                           ("1% changed (s)", med("tessary", "iii-1pct"), 0.6)]:
    shown = "-" if value is None else f"{value:.3f}"
    verdict = "" if limit is None or value is None else ("met" if value <= limit else "MISSED")
    print(f"  {what:42} {shown:>8}  {'' if limit is None else '<= ' + str(limit):8} {verdict}")
EOF
}

# ------------------------------------------------------------------- main --
main() {
  for t in lftp ncftpput curl hyperfine python3 sqlite3 /usr/bin/time; do
    command -v "$t" > /dev/null || { log "missing $t: scripts/install-deps.sh installs it"; exit 1; }
  done
  [[ -x $TESSARY_BIN ]] || { log "no built program at $TESSARY_BIN (set TESSARY_BIN)"; exit 1; }
  if [[ $(id -u) != 0 ]]; then log "run as root (tmpfs mount, files owned by ftp)"; exit 1; fi
  if [[ -e $DATA ]]; then log "$DATA exists (an earlier KEEP=1 run?): remove it first"; exit 1; fi
  mkdir -p "$RUN"
  trap cleanup EXIT
  trap 'exit 130' INT TERM
  start_server
  if command -v rclone > /dev/null; then RCLONE_REMOTE=${RCLONE_REMOTE/@PASS@/$(rclone obscure x)}; fi
  export LFTP_SET RCLONE_REMOTE URL PORT HOST RUN TESSARY_STORE TESSARY_STORE1 TESSARY_BIN TESSARY_WRAP
  for p in $PEERS $WAN_PEERS tessary_verify tessary_restore curl_get; do export -f "peer_$p"; done
  for set in $SETS; do log "== generating $set"; python3 "$HERE/gendata.py" "$set" "$DATA/$set"; done

  : > "$RES"; GEN=0
  for r in $(seq "$ROUNDS"); do
    for set in $SETS; do
      find "$DATA/$set" -type f -print0 | xargs -0 cat > /dev/null     # page cache warm
      for peer in $PEERS; do log "round $r/$ROUNDS  $set  $peer"; run_peer "$set" "$peer" "$r"; done
    done
  done
  echo
  echo "== $ROUNDS rounds, vsftpd on $HOST:$PORT (tmpfs), change mode $MUTATE, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "   median/min-max = wall s; cpu = client user+sys s; up = files stored; bad = most mismatches in a round;"
  echo "   x$REF = median over rounds of (wall / $REF's wall in the same round)"
  table
  echo "== local limits: $(nproc) cores, page cache warm, hyperfine median of 7"
  limits
  if [[ $PEERS == *tessary* ]]; then
    echo
    echo "== GUI thread during a run: longest gap between ticks of a 10 ms timer"
    gui_gaps
    echo
    echo "== targets"
    targets
    local set checked=
    for set in $SETS; do
      if [[ $set == small || $set == large ]]; then checks "$set"; checked=1; fi
    done
    if [[ -n $checked ]]; then
      echo
      echo "== checking and restoring a backup: median of $CHECK_ROUNDS"
      check_targets
    fi
  fi
  if [[ $WAN_DELAY_MS != 0 ]]; then wan_step; fi
}

main "$@"
