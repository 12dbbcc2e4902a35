#!/usr/bin/env bash
# Fails when a source file includes one of a higher layer, so the core
# stays free of the windows and each layer builds on the ones below it.
# Layers, low to high: 0 store and the shell's runtime, status log and
# entry IDs; 1 hash; 2 ftp; 3 sync; 4 the windows. Files in servers/ are
# included by nothing in folders/ or shell/. Usage: check_layers.sh [ROOT]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

layer() {  # sets $level for the path $1
    case "$1" in
    store/* | shell/Runtime.* | shell/StatusLog.* | shell/EntryID.* | shell/UniqueFd.h) level=0 ;;
    hash/*) level=1 ;;
    ftp/frmFTP.* | ftp/modAlwaysOnTop.*) level=4 ;;
    ftp/*) level=2 ;;
    sync/*) level=3 ;;
    *) level=4 ;;
    esac
}

dirs=(shell store hash ftp sync servers folders)
status=0
while IFS=: read -r file line text; do
    [[ $text =~ \"([^\"]+)\" ]] && target=${BASH_REMATCH[1]}
    [[ " ${dirs[*]} " == *" ${target%%/*} "* ]] || continue
    layer "$target" && to=$level && layer "$file"
    if ((to > level)); then
        echo "$file:$line: includes $target from a higher layer"
        status=1
    fi
    if [[ $target == servers/* && ($file == folders/* || $file == shell/*) ]]; then
        echo "$file:$line: includes $target: servers/ is not for folders/ or shell/"
        status=1
    fi
done < <(grep -rnE '^\s*#\s*include\s*"[^"/]+/' "${dirs[@]}" --include='*.h' --include='*.cpp')
exit $status
