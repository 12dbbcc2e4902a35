#!/usr/bin/env bash
# Pictures of the windows for the documentation. Builds in BUILD-DIR (the
# first argument; default build/), makes a small sample store in a
# temporary folder and saves one PNG a window under docs/screenshots/,
# each window drawn on a virtual X display (xvfb-run).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out=$root/docs/screenshots

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" >/dev/null
make -C "$build" -j2 tessary-winshot tessary-mkstore >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tessary-mkstore" "$root/store/schema.sql" "$work/information.mdb" >/dev/null
sqlite3 "$work/information.mdb" <<'SQL'
insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes)
  values('backup.example.org', '21', 'anna', 'correct horse', '/backups/anna', 'The office NAS, reached over the VPN.');
insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes)
  values('ftp.example.net', '2121', 'anna.offsite', 's3cret', '/offsite', 'Off-site copy');
insert into Tessary (Folder, SettingsID, SubDirs) values('/home/anna/Documents', '1', 'YES');
insert into Tessary (Folder, SettingsID, SubDirs) values('/home/anna/Pictures/2024', '2', 'YES');
insert into Tessary (Folder, SettingsID, SubDirs) values('/srv/projects/tessary notes', '1', 'NO');
SQL

mkdir -p "$out"
shoot() {
    xvfb-run -a -s "-screen 0 1280x800x24" \
        env QT_QPA_PLATFORM=xcb "$build/scripts/tessary-winshot" "$work" "$1" "$out/$2"
    echo "$out/$2"
}
shoot frmMain main-window.png
shoot frmServers server-list.png
shoot frmServerSettings server-editor.png
shoot frmFolders folder-list.png
shoot frmFolderSettings folder-editor.png
