#!/usr/bin/env bash
# Include rules between the source folders: the front end sits on top, so no
# other folder includes its headers, and the platform layer at the bottom
# includes nothing of the engine.
set -euo pipefail
src="${1:-$(dirname "${BASH_SOURCE[0]}")/../src}"
status=0
for dir in board eval search tablebase platform; do
    if grep -rn '#include "frontend/' "$src/$dir" ; then
        echo "$dir includes front-end headers" >&2
        status=1
    fi
done
if grep -rn '#include "\(board\|eval\|search\|tablebase\)/' "$src/platform" ; then
    echo "platform includes engine headers" >&2
    status=1
fi
exit $status
