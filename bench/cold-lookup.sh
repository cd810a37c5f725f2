#!/usr/bin/env bash
# A cold command-line lookup as a whole process, against libhangul's load and exact lookup of the
# same word, run paired by hyperfine (alternating, after warm-up runs that bring the files into
# the page cache). Prints both medians and their ratio.
#   bench/cold-lookup.sh [build dir=build] [word=수도] [runs=40]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
word=${2:-수도}
runs=${3:-40}
txt=/usr/share/libhangul/hanja/hanja.txt
json=$(mktemp)
trap 'rm -f "$json"' EXIT
hyperfine -N --warmup 5 --runs "$runs" --export-json "$json" \
  "$build/bin/sorelwick lookup $word" "$build/bench/bench_LibhangulLookup $txt $word" >&2
python3 - "$json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
ours, theirs = r[0]["median"], r[1]["median"]
print(f"sorelwick lookup: {ours*1000:.1f} ms median, libhangul: {theirs*1000:.1f} ms median, ratio {ours/theirs:.2f}")
PY
