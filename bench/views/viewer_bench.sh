#!/usr/bin/env bash
# Benchmark of the list viewers: the resource viewer over 100 000 resources (fill, sorts, select
# all, refill, find), each time also as a ratio to filling a plain list with the same texts.
#   bench/views/viewer_bench.sh [rows]   (after the x64 build)
KV_BENCH_PROGRAM=viewer_bench KV_BENCH_COUNT=${1:-${KV_BENCH_COUNT:-100000}} exec "$(dirname "$0")/run.sh"
