#!/usr/bin/env bash
# Builds the Debian package from a copy of this tree and checks it:
#  - dpkg-buildpackage -us -uc -b succeeds, lintian finds no error, and what
#    the build leaves in the tree is ignored by git and gone after a clean;
#  - the package (read with dpkg-deb) holds its files under /usr, no store,
#    dependencies from dh_shlibdeps; its menu entry, icons, metainfo, user
#    units and man page are valid; a prefix install of that build writes no
#    store beside the program and quotes the program's path in its unit;
#  - as root: apt installs it, two throwaway users each run "tessary /SYNC"
#    against a store of their own (mode 0600, their own, unreadable by the
#    other) and a job of their own on an FTP server on 127.0.0.1, nothing is
#    written beside the program, XDG_DATA_HOME is honoured, and the stores
#    survive apt-get remove and purge.
# Not root: the install checks are skipped, with a line that says so.
# Everything it makes (the copy, the .debs, users, the package) is removed
# at exit. Needs what scripts/install-deps.sh installs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
started=$SECONDS
failures=0
pass() { echo "ok: $1"; }
fail() { echo "FAIL: $1"; failures=$((failures + 1)); }
check() {  # check "what" command...: passes when the command succeeds
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}
quiet() {  # quiet command...: succeeds when the command does and prints nothing
    local out
    out=$("$@" 2>&1) && [[ -z $out ]] && return 0
    printf '%s\n' "$out" | sed 's/^/    /'
    return 1
}
none() {  # none command...: the command prints nothing (a grep or find that finds nothing)
    local out
    out=$("$@" 2>&1 || true)
    [[ -z $out ]] && return 0
    printf '%s\n' "$out" | head -20 | sed 's/^/    /'
    return 1
}
valid_metainfo() {  # valid_metainfo FILE: appstreamcli has not even a pedantic remark
    local out
    out=$(appstreamcli validate --no-net --pedantic --no-color "$1" 2>&1) && ! grep -q '^[EWIP]: ' <<<"$out" && return 0
    printf '%s\n' "$out" | sed 's/^/    /'
    return 1
}
silent() { "$@" >/dev/null; }  # silent command...: its output away, not the check's line
has() { [[ $1 == *"$2"* ]] || { printf '    no "%s" in:\n%s\n' "$2" "$1" | head -40; return 1; }; }

for tool in dpkg-buildpackage dh lintian appstreamcli desktop-file-validate systemd-analyze man git sqlite3; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh"; exit 1; }
done

work=$(mktemp -d /tmp/tessary-package.XXXXXX)
chmod 0755 "$work"  # the throwaway users reach their homes and the program under it
users=()
installed=no
cleanup() {
    set +e
    [[ -n ${ftp_pid:-} ]] && kill "$ftp_pid" 2>/dev/null && wait "$ftp_pid" 2>/dev/null
    [[ $installed == yes ]] && DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tessary >/dev/null 2>&1
    for u in "${users[@]}"; do userdel "$u" >/dev/null 2>&1; done
    if [[ -f $work/usr-bin.before ]]; then  # a store a faulty build wrote beside the program
        for f in /usr/bin/information.mdb*; do
            [[ -e $f ]] && ! grep -qxF "${f#/usr/bin/}" "$work/usr-bin.before" && rm -f "$f"
        done
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# ------------------------------------------------------------------ build --
src=$work/src
mkdir "$src"
git -C "$root" ls-files -co --exclude-standard -z | (cd "$root" && tar --null -T - -cf -) | tar -xf - -C "$src"
git -C "$src" init -q && git -C "$src" add -A &&  # to see what the build leaves
    git -C "$src" -c user.name=check -c user.email=check@localhost -c commit.gpgsign=false commit -qm copy
echo "== dpkg-buildpackage -us -uc -b (log: build.log)"
if ! (cd "$src" && DEB_BUILD_OPTIONS="parallel=2 ${DEB_BUILD_OPTIONS:-}" nice -n 10 dpkg-buildpackage -us -uc -b) \
    >"$work/build.log" 2>&1; then
    tail -40 "$work/build.log"
    echo "FAIL: dpkg-buildpackage"
    exit 1
fi
pass "dpkg-buildpackage -us -uc -b"
version=$(cd "$src" && dpkg-parsechangelog -S Version)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb=$work/tessary_${version}_${arch}.deb
check "the package is $(basename "$deb")" test -f "$deb"
check "the build leaves nothing in the tree that git does not ignore" quiet git -C "$src" status --porcelain

echo "== lintian"
lintian_out=$(lintian --pedantic -I --fail-on error "$work/tessary_${version}_${arch}.changes" 2>&1) && lintian_rc=0 || lintian_rc=$?
lintian_out=$(grep -v '^running with root privileges' <<<"$lintian_out" || true)
[[ -n $lintian_out ]] && printf '%s\n' "$lintian_out" | sed 's/^/    /'
echo "    errors $(grep -c '^E:' <<<"$lintian_out" || true), warnings $(grep -c '^W:' <<<"$lintian_out" || true)," \
    "infos $(grep -c '^I:' <<<"$lintian_out" || true), pedantic $(grep -c '^P:' <<<"$lintian_out" || true)"
check "lintian reports no error" test "$lintian_rc" -eq 0

# A prefix install of the package's own build: a path with a blank, and no store.
prefix="$work/pre fix"
obj=$(echo "$src"/obj-*)
cmake --install "$obj" --prefix "$prefix" >"$work/prefix.log" 2>&1 || { cat "$work/prefix.log"; fail "cmake --install"; }
check "the per-user build's prefix install puts no store beside the program" \
    none find "$prefix" -name 'information.mdb*'
check "its service starts the prefix's program, quoted for systemd" \
    grep -qxF "ExecStart=\"$prefix/bin/tessary\" /SYNC" "$prefix/lib/systemd/user/tessary-sync.service"
mkdir -m 0700 "$work/runtime"
verify_units() {  # verify_units MANPATH UNIT...: systemd-analyze finds nothing
    quiet env XDG_RUNTIME_DIR="$work/runtime" ${1:+"MANPATH=$1"} systemd-analyze --user verify "${@:2}"
}
check "systemd-analyze verify finds nothing in the prefix's units" verify_units "$prefix/share/man" \
    "$prefix/lib/systemd/user/tessary-sync.timer" "$prefix/lib/systemd/user/tessary-sync.service"

(cd "$src" && debian/rules clean) >"$work/clean.log" 2>&1 || { cat "$work/clean.log"; fail "debian/rules clean"; }
check "debian/rules clean leaves only the tree's own files" quiet git -C "$src" status --porcelain --ignored

# ---------------------------------------------------------------- contents --
echo "== the package's contents (dpkg-deb)"
listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
check "every file is under /usr" none grep -v -e '^/$' -e '^/usr/' <<<"$listing"
check "no store is in the package" none grep -e 'information\.mdb' -e 'mkstore' <<<"$listing"
for f in /usr/bin/tessary /usr/bin/tessary-gui /usr/lib/systemd/user/tessary-sync.service \
    /usr/lib/systemd/user/tessary-sync.timer /usr/share/man/man1/tessary.1.gz /usr/share/man/man1/tessary-gui.1.gz \
    /usr/share/applications/tessary.desktop /usr/share/metainfo/org.example.tessary.metainfo.xml \
    /usr/share/icons/hicolor/scalable/apps/tessary.svg; do
    grep -qxF "$f" <<<"$listing" || fail "the package holds $f"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6core6 libcurl4 libsqlite3-0 libssl3 libc6; do
    has "$depends" "$lib" || fail "Depends names $lib (dh_shlibdeps)"
done
x=$work/x
dpkg-deb -x "$deb" "$x"

check "the menu entry validates" quiet desktop-file-validate "$x/usr/share/applications/tessary.desktop"
check "the menu entry starts /usr/bin/tessary" grep -qx 'Exec=/usr/bin/tessary' "$x/usr/share/applications/tessary.desktop"
check "the menu entry's icon is the package's" grep -qx 'Icon=tessary' "$x/usr/share/applications/tessary.desktop"
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}'; }
icons_ok() {
    local size ok=0
    for size in 16 32 48 128 256; do
        local png=$x/usr/share/icons/hicolor/${size}x${size}/apps/tessary.png
        [[ $(head -c8 "$png" | od -An -tx1 | tr -d ' ') == 89504e470d0a1a0a && $(png_size "$png") == "${size}x${size}" ]] ||
            { echo "    $png is no ${size}x${size} PNG"; ok=1; }
    done
    grep -q '<svg' "$x/usr/share/icons/hicolor/scalable/apps/tessary.svg" || { echo "    the SVG icon is no SVG"; ok=1; }
    return $ok
}
check "the icons are PNGs of their folder's size, and an SVG" icons_ok
check "appstreamcli validate --no-net --pedantic passes on the metainfo, without a remark" \
    valid_metainfo "$x/usr/share/metainfo/org.example.tessary.metainfo.xml"
check "appstreamcli validate-tree --no-net finds the metainfo's desktop entry" \
    silent appstreamcli validate-tree --no-net --no-color "$x"

man_ok() {  # man_ok FILE: renders without a warning and holds what it must
    local text warnings
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$1" 2>&1 >/dev/null) &&
        [[ -z $warnings ]] || { printf '%s\n' "$warnings" | sed 's/^/    /'; return 1; }
    text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$1" 2>/dev/null)
    for part in "/SYNC" "EXIT STATUS" "~/.local/share/tessary/information.mdb" "ftps://host" "sftp://host" \
        "/etc/ssl/certs" "~/.ssh/known_hosts" "ssh-keyscan" "XDG_DATA_HOME" "WAYLAND_DISPLAY" "QT_QPA_PLATFORM" \
        "systemctl --user enable --now tessary-sync.timer" "journalctl --user -u tessary-sync"; do
        has "$text" "$part" || return 1
    done
}
check "man -l renders the man page, without warnings" man_ok "$x/usr/share/man/man1/tessary.1.gz"
check "tessary-gui's man page is tessary's" test "$(readlink "$x/usr/share/man/man1/tessary-gui.1.gz")" = tessary.1.gz

check "the service starts /usr/bin/tessary /SYNC" \
    grep -qx 'ExecStart=/usr/bin/tessary /SYNC' "$x/usr/lib/systemd/user/tessary-sync.service"
# Not installed yet: the same units, the service pointing at the unpacked program.
mkdir "$work/units"
sed "s|^ExecStart=/usr/bin/tessary |ExecStart=$x/usr/bin/tessary |" "$x/usr/lib/systemd/user/tessary-sync.service" \
    >"$work/units/tessary-sync.service"
cp "$x/usr/lib/systemd/user/tessary-sync.timer" "$work/units/"
check "systemd-analyze verify finds nothing in the package's units" \
    verify_units "$x/usr/share/man" "$work/units/tessary-sync.timer" "$work/units/tessary-sync.service"

# ---------------------------------------------------------------- install --
if [[ $(id -u) -ne 0 ]]; then
    echo "== skipped: installing the package and the two users' runs need root"
elif dpkg-query -W -f='${Status}' tessary 2>/dev/null | grep -q 'install ok installed'; then
    echo "== skipped: tessary is installed on this machine already, and is left as it is"
else
    echo "== apt-get install, two users, apt-get remove"
    ls -A /usr/bin | LC_ALL=C sort >"$work/usr-bin.before"
    installed=yes
    if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >"$work/apt.log" 2>&1; then
        cat "$work/apt.log"
        echo "FAIL: apt-get install"
        exit 1
    fi
    pass "apt-get install $(basename "$deb")"
    check "the installed files are under /usr" none grep -v -e '^/\.$' -e '^/usr$' -e '^/usr/' < <(dpkg -L tessary)
    check "the timer is not switched on for every user" \
        test ! -e /etc/systemd/user/timers.target.wants/tessary-sync.timer
    check "the installed menu entry validates" quiet desktop-file-validate /usr/share/applications/tessary.desktop
    check "the installed metainfo validates" valid_metainfo /usr/share/metainfo/org.example.tessary.metainfo.xml
    if grep -rqs '^path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d/; then
        echo "    (dpkg leaves out man pages on this machine: the installed units are verified without them)"
        check "systemd-analyze verify finds nothing in the installed units" quiet env XDG_RUNTIME_DIR="$work/runtime" \
            systemd-analyze --user --man=no verify /usr/lib/systemd/user/tessary-sync.timer \
            /usr/lib/systemd/user/tessary-sync.service
    else
        check "man tessary-gui renders the installed page" has "$(MANWIDTH=80 man tessary-gui 2>&1)" "EXIT STATUS"
        check "systemd-analyze verify finds nothing in the installed units" verify_units "" \
            /usr/lib/systemd/user/tessary-sync.timer /usr/lib/systemd/user/tessary-sync.service
    fi

    # A real FTP server on 127.0.0.1 for the users' jobs.
    mkdir "$work/ftp"
    coproc FTP { exec /usr/bin/python3 "$root/tests/support/ftpserver.py" --root "$work/ftp"; }
    ftp_pid=$FTP_PID
    read -r -t 30 word port _ <&"${FTP[0]}" || true
    [[ ${word:-} == PORT && -n ${port:-} ]] || { echo "FAIL: the FTP server did not start"; exit 1; }

    declare -A home
    for who in a b; do
        u=tessary-pkg-$who-$$
        home[$who]=$work/home-$who
        useradd --system --create-home --home-dir "${home[$who]}" --shell /usr/sbin/nologin "$u"
        users+=("$u")
        mkdir -p "$work/ftp/$who"
    done
    ua=${users[0]} ub=${users[1]}
    as() {  # as USER [VAR=value...] command...: a plain environment, no display
        local u=$1
        shift
        runuser -u "$u" -- env -i PATH=/usr/bin:/bin LANG=C.UTF-8 HOME="$(getent passwd "$u" | cut -d: -f6)" "$@"
    }
    run_ok() {  # run_ok OUTPUT-VARIABLE USER [VAR=value...] command...: exit 0, the run complete
        local -n into=$1
        local status=0
        into=$(as "${@:2}" 2>&1) || status=$?
        [[ $status -eq 0 ]] || { echo "    status $status:"; printf '%s\n' "$into" | sed 's/^/    /'; return 1; }
        has "$into" "All Sync's Complete"
    }
    store_ok() {  # store_ok USER FILE: there, the user's, mode 0600
        [[ $(stat -c '%U %a' "$2" 2>/dev/null) == "$1 600" ]] || { echo "    $2: $(stat -c '%U %a' "$2" 2>&1)"; return 1; }
    }
    for who in a b; do
        u=tessary-pkg-$who-$$
        s=${home[$who]}/.local/share/tessary/information.mdb
        check "user $who's first run exits 0 with every sync complete" run_ok out "$u" tessary /SYNC
        check "user $who's first run makes and names the store" \
            has "$out" $'Setting Database Connection String\nCreated an empty store: '"$s"$'\nOpened Database\n'
        check "user $who's store is theirs, mode 0600" store_ok "$u" "$s"
        check "user $who's store folder is theirs, mode 0700" \
            test "$(stat -c '%U %a' "${home[$who]}/.local/share/tessary")" = "$u 700"
        # A job of their own, put in by the user, on the shared server.
        mkdir -p "${home[$who]}/data" && echo "$who" >"${home[$who]}/data/only-$who.txt" && chown -R "$u" "${home[$who]}/data"
        check "user $who puts a job of their own into their store" as "$u" sqlite3 "$s" "insert into mySettings (FTPServer, FTPPort, FTPUser, FTPPassword, FTPDirectory, FTPNotes)
            values ('127.0.0.1', '$port', 'tessary', 'secret', '/$who', '');
            insert into Tessary (Folder, SettingsID, SubDirs) values ('${home[$who]}/data', last_insert_rowid(), 'NO');"
    done
    sa=${home[a]}/.local/share/tessary/information.mdb sb=${home[b]}/.local/share/tessary/information.mdb
    reads() { as "$1" cat "$2" >/dev/null 2>&1; }
    check "user b reads their own store and not user a's" eval 'reads "$ub" "$sb" && ! reads "$ub" "$sa"'
    check "user a reads their own store and not user b's" eval 'reads "$ua" "$sa" && ! reads "$ua" "$sb"'

    check "user a's run exits 0 with every sync complete" run_ok out "$ua" tessary /SYNC
    check "user a's run sends a's file and not b's" \
        eval 'has "$out" "${home[a]}/data/only-a.txt has changed" && [[ $out != *only-b* ]]'
    # User b's run by the windows' program: it finds the same store.
    check "user b's run by tessary-gui exits 0 with every sync complete" run_ok out "$ub" tessary-gui /SYNC
    check "user b's run sends b's file and not a's" \
        eval 'has "$out" "${home[b]}/data/only-b.txt has changed" && [[ $out != *only-a* ]]'
    check "each file reached its own user's remote folder" \
        eval '[[ -n $(find "$work/ftp/a" -name only-a.txt) && -n $(find "$work/ftp/b" -name only-b.txt) ]] &&
              [[ -z $(find "$work/ftp/a" -name only-b.txt) && -z $(find "$work/ftp/b" -name only-a.txt) ]]'
    check "user a's second run finds its file unchanged" \
        eval 'run_ok out "$ua" tessary /SYNC && [[ $out != *"has changed"* && $out != *"Created an empty store"* ]]'

    xdg=${home[a]}/xdg
    check "with XDG_DATA_HOME the run exits 0" run_ok out "$ua" XDG_DATA_HOME="$xdg" tessary /SYNC
    check "with XDG_DATA_HOME the store is made there" has "$out" "Created an empty store: $xdg/tessary/information.mdb"
    check "with XDG_DATA_HOME the store is the user's, mode 0600" store_ok "$ua" "$xdg/tessary/information.mdb"
    check "with XDG_DATA_HOME the other store is not used" eval '[[ $out != *only-a* ]]'

    # Root too, who could write beside the program, gets a store in a home.
    mkdir -m 0700 "$work/root-home"
    check "root's run exits 0 with its store in its home" \
        eval 'out=$(env -i PATH=/usr/bin:/bin LANG=C.UTF-8 HOME="$work/root-home" tessary /SYNC 2>&1) &&
              has "$out" "Created an empty store: $work/root-home/.local/share/tessary/information.mdb"'
    check "nothing is written beside the program" diff <(ls -A /usr/bin | LC_ALL=C sort) \
        <(sort -u "$work/usr-bin.before" <(grep '^/usr/bin/' < <(dpkg -L tessary) | sed 's|^/usr/bin/||') | LC_ALL=C sort)
    jobs_in() { sqlite3 "$1" "select Folder from Tessary"; }
    apt_gone() {  # apt_gone remove|purge: apt-get succeeds and the package is no longer installed
        DEBIAN_FRONTEND=noninteractive apt-get "$1" -y -qq tessary >"$work/apt-$1.log" 2>&1 ||
            { sed 's/^/    /' "$work/apt-$1.log"; return 1; }
        ! dpkg-query -W -f='${Status}\n' tessary 2>/dev/null | grep -q ' installed$'
    }
    check "apt-get remove tessary" apt_gone remove
    check "the users' stores survive apt-get remove, jobs and all" \
        eval '[[ $(jobs_in "$sa") == "${home[a]}/data" && $(jobs_in "$sb") == "${home[b]}/data" ]] &&
              store_ok "$ua" "$sa" && store_ok "$ub" "$sb"'
    check "apt-get purge tessary" apt_gone purge
    installed=no
    check "the users' stores survive apt-get purge" \
        eval '[[ $(jobs_in "$sa") == "${home[a]}/data" && $(jobs_in "$sb") == "${home[b]}/data" ]]'
fi

echo "== $((SECONDS - started)) s; $failures failed"
[[ $failures -eq 0 ]]
