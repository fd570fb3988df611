#!/usr/bin/env bash
# make_links.sh <folder>: directory trees with links that lead back into themselves, for the disk
# walk's cycle guard. Wine shows host symbolic links to directories as reparse-point directories.
set -eu
top=$1/links
rm -rf "$top"
mkdir -p "$top/loop/a" "$top/loop/other" "$top/cross/A" "$top/cross/B"
touch "$top/loop/a/file.txt" "$top/cross/A/fa.txt" "$top/cross/B/fb.txt"
ln -s .. "$top/loop/a/back"        # loop/a/back -> loop
ln -s ../a "$top/loop/other/toA"   # loop/other/toA -> loop/a (no cycle by itself)
ln -s ../B "$top/cross/A/j1"       # cross/A/j1 -> cross/B
ln -s ../A "$top/cross/B/j2"       # cross/B/j2 -> cross/A
