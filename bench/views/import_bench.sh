#!/usr/bin/env bash
# Benchmark of the main window's model import (adding with merging) of a file of 100 000 resources
# from each category, against reading the file without a window.
#   bench/views/import_bench.sh [resources]   (after the x64 build)
KV_BENCH_PROGRAM=import_bench KV_BENCH_COUNT=${1:-${KV_BENCH_COUNT:-100000}} exec "$(dirname "$0")/run.sh"
