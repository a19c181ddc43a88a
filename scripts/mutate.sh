#!/usr/bin/env bash
# Mutation run: plants each fault of scripts/mutations.tsv in turn, rebuilds
# build-mutate/ (RelWithDebInfo, the options of scripts/test.sh's main build)
# and runs the CTest suite until the first failing test. Prints caught (by
# which test), missed, or a defect of the list (does not apply / does not
# compile), then the score; writes scripts/mutation-results.txt.
#
#   bash scripts/mutate.sh [--only ID,...] [--jobs N] [--build DIR] [--out FILE]
#                          [--baseline FILE] [--timeout S] [--list] [--check]
#
# --baseline scripts/mutation-baseline.txt fails the run when a fault caught
# there is missed now. --check only applies each fault and compiles its file.
# Left out: the package.* tests (they build the Debian package, minutes per
# fault) and the fuzz and sanitizer builds. Runs at a lower priority. The
# source file of a fault is changed in place while it is tested and always
# written back; do not edit src/ while a run is going.
set -euo pipefail
cd "$(dirname "$0")/.."
exec nice -n 10 python3 scripts/mutate.py "$@"
