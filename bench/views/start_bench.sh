#!/usr/bin/env bash
# Benchmark of the start of the main window over a board store of 100 000 file resources: the window
# shown, the model restored and the first list shown, against the store's load without a window.
#   bench/views/start_bench.sh [resources]   (after the x64 build)
KV_BENCH_PROGRAM=start_bench KV_BENCH_COUNT=${1:-${KV_BENCH_COUNT:-100000}} exec "$(dirname "$0")/run.sh"
