#!/usr/bin/env bash
# Fails when a source folder includes a folder above it. The layers, lowest
# first: platform, math, diag, glh and resources; location and files; scene;
# terrain and effects; level (loading one); edit (the user's changes);
# output (what is written) and render (the GL passes); app (the viewer).
# Folders of one layer may include each other.
#   check_layers.sh [SOURCE_ROOT]   (default: the repository's src/)
set -euo pipefail
root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../src" && pwd)}

rank() {
    case $1 in
        platform|math|diag|glh|resources) echo 0 ;;
        location|files) echo 1 ;;
        scene) echo 2 ;;
        terrain|effects) echo 3 ;;
        level) echo 4 ;;
        edit) echo 5 ;;
        output|render) echo 6 ;;
        app) echo 7 ;;
        *) echo "" ;;
    esac
}

status=0
checked=0
while IFS= read -r file; do
    rel=${file#"$root"/}
    folder=${rel%%/*}
    own=$(rank "$folder")
    if [[ -z $own ]]; then
        echo "check_layers: $rel: folder '$folder' has no layer" >&2
        status=1
        continue
    fi
    while IFS= read -r line; do
        target=$(sed -E 's/^#include "([^"/]+)\/.*"/\1/' <<<"$line")
        [[ $target == "$line" ]] && continue  # not a project path
        theirs=$(rank "$target")
        [[ -z $theirs ]] && continue           # a file beside it, or a system header
        if (( theirs > own )); then
            echo "check_layers: $rel includes $target/ (layer $theirs) from $folder/ (layer $own)" >&2
            status=1
        fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" | sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*/#include /')
    checked=$((checked + 1))
done < <(find "$root" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

if (( checked == 0 )); then
    echo "check_layers: no sources under $root" >&2
    exit 1
fi
if (( status == 0 )); then echo "check_layers: $checked files, every include points down or across"; fi
exit $status
