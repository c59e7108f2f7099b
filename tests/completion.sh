#!/usr/bin/env bash
# The bash completion of ornsum (the file named by $1), in a directory of logs, a report and a
# subdirectory: each word being completed, then what is offered for it, sorted, and the options
# asked of bash. compopt stands in for the builtin, which works only while bash itself completes.
set -euo pipefail
export LC_ALL=C
source "$1"
cd "$(mktemp -d)"
trap 'rm -rf "$PWD"' EXIT
touch ornid.log ornid.log.1.gz 'old report'
mkdir logs
compopt() { asked+=" $*"; }
for word in - -s -so -nlo -t -ty orn lo; do
  COMP_WORDS=(ornsum "$word")
  COMP_CWORD=1
  asked=""
  _ornsum
  # bash sorts what it offers; compgen gives names in the order of the directory.
  mapfile -t offered < <(printf '%s\n' "${COMPREPLY[@]}" | sort)
  printf '%s:' "$word" "${offered[@]/#/ }" "$asked"
  echo
done | diff -u - <(cat <<'END'
-: --help: --version: -a: -d: -n: -o: -q: -s: -t::
-s: -slogs/: -sold report: -sornid.log: -sornid.log.1.gz: -o filenames:
-so: -sold report: -sornid.log: -sornid.log.1.gz: -o filenames:
-nlo: -nlogs/: -o filenames -o nospace:
-t: -ttoday: -tyesterday::
-ty: -tyesterday::
orn: ornid.log: ornid.log.1.gz: -o filenames:
lo: logs: -o filenames:
END
)
