#!/usr/bin/env bash
# Benchmarks of the tool and bulk commands over 100 000 resources, each as a ratio to creating the
# same resources without the window: the path-variable pass (F7) both ways, and bulk creation
# ("Создать ресурсы") over a folder tree of as many files.
#   bench/views/tools_bench.sh [resources]   (after the x64 build)
set -euo pipefail
here=$(dirname "$0")
count=${1:-${KV_BENCH_COUNT:-100000}}
KV_BENCH_PROGRAM=tools_bench KV_BENCH_COUNT=$count "$here/run.sh"
KV_BENCH_PROGRAM=bulk_bench KV_BENCH_COUNT=$count "$here/run.sh"
