#!/bin/sh
# Builds the fuzz targets with clang and runs each for the given number of
# seconds on one core, after replaying its regression inputs.
#   fuzz/run.sh <seconds> [target ...]
# Seeds: fuzz/corpus/<target>/ (checked in). Each target's growing corpus
# lives in <build>/corpus/<target>/, findings go to <build>/findings/<target>/.
# The build folder is $HOSTCMD_FUZZ_BUILD or build/fuzz. Prints executions
# and findings per target; exits 1 when anything was found.
set -u
seconds=${1:?usage: fuzz/run.sh <seconds> [target ...]}
shift
root=$(cd "$(dirname "$0")/.." && pwd)
build=${HOSTCMD_FUZZ_BUILD:-$root/build/fuzz}
clangxx=${CLANGXX:-clang++}
clangc=${CLANGC:-clang}

if ! command -v "$clangxx" >/dev/null 2>&1; then
    echo "fuzz: $clangxx not found (apt-get install clang libclang-rt-14-dev)" >&2
    exit 1
fi
mkdir -p "$build"
cmake -S "$root" -B "$build" -DHOSTCMD_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_CXX_COMPILER="$clangxx" -DCMAKE_C_COMPILER="$clangc" >"$build/configure.log" 2>&1 \
    || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j 2 >"$build/build.log" 2>&1 || { tail -50 "$build/build.log"; exit 1; }

if [ $# -eq 0 ]; then
    set -- $(cd "$root/fuzz" && ls fuzz_*.cpp | sed 's/\.cpp$//')
fi

total=0
findings=0
for target in "$@"; do
    exe=$build/$target
    corpus=$build/corpus/$target
    found=$build/findings/$target
    mkdir -p "$corpus" "$found"
    log=$build/$target.log
    status=ok
    # Every kept crashing input must now pass.
    if [ -d "$root/fuzz/regressions/$target" ] && [ -n "$(ls -A "$root/fuzz/regressions/$target")" ]; then
        if ! "$exe" -rss_limit_mb=2048 -timeout=20 "$root/fuzz/regressions/$target"/* >"$log.regressions" 2>&1; then
            status="REGRESSION FAILED (see $log.regressions)"
            findings=$((findings + 1))
        fi
    fi
    "$exe" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=8192 \
           -artifact_prefix="$found/" -print_final_stats=1 \
           "$corpus" "$root/fuzz/corpus/$target" >"$log" 2>&1
    rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    runs=${runs:-0}
    total=$((total + runs))
    if [ $rc -ne 0 ]; then
        status="FINDING (exit $rc, see $log and $found/)"
        findings=$((findings + 1))
    fi
    printf '%-20s %12s executions  %s\n' "$target" "$runs" "$status"
done
printf '%-20s %12s executions  %s finding(s)\n' "all" "$total" "$findings"
[ $findings -eq 0 ]
