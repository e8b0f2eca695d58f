#!/usr/bin/env bash
# Puts small faults into the C++ sources one at a time, rebuilds a scratch copy of the tree and
# runs the tests, to show which faults the tests would catch. Usage:
#   scripts/mutation-check.sh [--count N] [--seed S] [PATH...]
# (default: 20 mutants, seed 1, engine/ cli/ preview/). See scripts/mutation_check.py.
set -euo pipefail
exec python3 "$(dirname "$0")/mutation_check.py" "$@"
