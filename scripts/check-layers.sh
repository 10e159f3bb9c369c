#!/usr/bin/env bash
# Fails when a file of the module or the host includes a header of a higher layer.
#
#   scripts/check-layers.sh [SOURCE]
#
# Layers, lowest first; each may include its own folder and those before it:
#   src/values  src/ledger  src/platform  src/shared  src/forms  src/entry  app/
# Every `#include "layer/..."` line under SOURCE/src and SOURCE/app is checked; a wrong one is
# printed as FILE:LINE: folder -> included layer. Before the tree, the rule is tried on a wrong
# include made up here, so a check that has stopped seeing anything fails too.
set -euo pipefail
source_dir=${1:-$(cd "$(dirname "$0")/.." && pwd)}
order="values ledger platform shared forms entry app"

# Reads "FILE<TAB>LINE<TAB>TEXT" rows; prints the wrong ones.
wrong_includes() {
  awk -F '\t' -v order="$order" '
    BEGIN { n = split(order, names, " "); for (i = 1; i <= n; i++) rank[names[i]] = i }
    {
      file = $1
      if (file ~ /^app\//) from = "app"
      else if (match(file, /^src\/[^\/]+\//)) from = substr(file, 5, RLENGTH - 5)
      else next
      if (!(from in rank)) { print file ": in no layer"; bad = 1; next }
      if (!match($3, /^[ \t]*#[ \t]*include[ \t]*"[^"\/]+\//)) next
      head = substr($3, RSTART, RLENGTH - 1)
      sub(/^.*"/, "", head)
      if ((head in rank) && rank[head] > rank[from]) {
        print file ":" $2 ": " from " -> " head
        bad = 1
      }
    }
    END { exit bad }'
}

# The rule itself, on a made-up lower-layer file that includes a screen.
if printf 'src/platform/X.h\t1\t#include "forms/frmNewPayment/frmNewPayment.h"\n' | wrong_includes >/dev/null; then
  echo "check-layers: the rule no longer sees a platform file including a screen" >&2
  exit 2
fi

cd "$source_dir"
found=$(find src app -type f \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z |
  xargs -0 awk '/^[ \t]*#[ \t]*include/ { printf "%s\t%d\t%s\n", FILENAME, FNR, $0 }' |
  wrong_includes) || {
  echo "Includes that point from a lower layer to a higher one (order: $order):" >&2
  echo "$found" >&2
  exit 1
}
echo "layers: every include points down ($order)"
