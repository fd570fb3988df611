#!/usr/bin/env bash
# Benchmark of the path-variable pass (F7) over 100 000 resources both ways, as a ratio to creating
# the same resources without the window.
#   bench/views/tools_bench.sh [resources]   (after the x64 build)
KV_BENCH_PROGRAM=tools_bench KV_BENCH_COUNT=${1:-${KV_BENCH_COUNT:-100000}} exec "$(dirname "$0")/run.sh"
