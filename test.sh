#!/usr/bin/env bash
# Every test and check of the project: unit tests, the whole service on
# simulated boards (the operator's page in a browser among them) and an hour
# of the simulated car park, the unit tests again under ASan and UBSan, the
# ARMv5 build run under qemu (its unit tests, and the service on a simulated
# board), a short run of each fuzz target, and the service built against the
# stand-ins installed as a board SDK.
# Installs what it needs (Debian 12, apt-get) and exits non-zero on a failure.
# --quick: the inner loop, an incremental x86 build, the unit tests and a few
#          whole-service cases.
# --soak: a simulated day of an entry and an exit board, alone.
# --fuzz-long: only the fuzz targets, each for 10 minutes (FUZZ_SECONDS).
set -u
cd "$(dirname "$0")"
top=$PWD
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-10}
fuzz_only=false
if [ "${1:-}" = "--fuzz-long" ]; then
  fuzz_only=true
  fuzz_seconds=${FUZZ_SECONDS:-600}
fi
failed=()

note() { printf '\n=== %s\n' "$*"; }
fail() { failed+=("$1"); printf '*** FAILED: %s\n' "$1"; }
# The whole-service cases of the quick loop.
quick_cases='^golden_(car_park|signals|startup)$'

. scripts/packages.sh
install_packages "${build_packages[@]}" "${test_packages[@]}" --optional "${browser_packages[@]}" ||
  exit 1

# ccache keeps the objects of one build for the next, across folders: paths
# under the clone are hashed relative to it, and the build folder is left out
# of the hash, which a build with debug information would otherwise put in
# (its objects then name another clone's folder, which no test reads).
launcher=()
command -v ccache >/dev/null &&
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR=$top CCACHE_NOHASHDIR=true

build() { # folder, then cmake options (the stand-ins unless a board SDK is named)
  local dir=$1; shift
  cmake -S "$top" -B "$dir" -G Ninja -DDRAVEL_BOARD_SDK= "${launcher[@]}" "$@" \
    >"$dir/configure.log" 2>&1 || { cat "$dir/configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs" 2>&1 | grep -v '^\[' ; return "${PIPESTATUS[0]}"
}

run_tests() { # folder, then ctest options (a label to run, say)
  local dir=$1; shift
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 600 "$@")
}

if [ "${1:-}" = --quick ]; then
  mkdir -p build
  build build -DCMAKE_BUILD_TYPE=RelWithDebInfo || exit 1
  run_tests build -L unit || fail "x86 unit tests"
  run_tests build -R "$quick_cases" || fail "whole-service cases"
  [ ${#failed[@]} -eq 0 ] || { note "FAILED: ${failed[*]}"; exit 1; }
  note "quick checks passed"
  exit 0
fi

if [ "${1:-}" = --soak ]; then # the simulated day alone, by hand: about 25 minutes
  note "a simulated day on an entry and an exit board"
  mkdir -p build && build build -DCMAKE_BUILD_TYPE=RelWithDebInfo && exec tests/soak/day.py
  exit 1
fi

if ! $fuzz_only; then
note "x86: build, unit tests, the service on simulated boards, an hour at the car park"
mkdir -p build
if build build -DCMAKE_BUILD_TYPE=RelWithDebInfo; then
  run_tests build || fail "x86 tests"
else
  fail "x86 build"
fi

note "x86: unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
mkdir -p build-asan
if build build-asan -DCMAKE_BUILD_TYPE=Debug -DDRAVEL_SANITIZE=ON -DDRAVEL_BENCH=OFF; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_tests build-asan -L unit || fail "sanitizer unit tests"
else
  fail "sanitizer build"
fi

note "ARMv5: cross build, unit tests under qemu-arm"
sysroot=$top/build-arm-sysroot
if [ ! -f "$sysroot/usr/lib/arm-linux-gnueabi/libjpeg.a" ]; then
  # Debian's armel packages, fetched and unpacked without adding the
  # architecture to this machine: apt works on lists of its own here.
  apt_dir=$sysroot.apt
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/debs" "$sysroot"
  apt_opts=(-o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
            -o APT::Architecture=armel -o "APT::Architectures::=armel" -o Debug::NoLocking=1
            -o APT::Sandbox::User=root)
  if apt-get "${apt_opts[@]}" update -q >"$apt_dir/update.log" 2>&1 &&
     (cd "$apt_dir/debs" && apt-get "${apt_opts[@]}" download libjpeg62-turbo-dev:armel \
        libjpeg62-turbo:armel >"$apt_dir/download.log" 2>&1); then
    for deb in "$apt_dir"/debs/*.deb; do dpkg-deb -x "$deb" "$sysroot"; done
  else
    cat "$apt_dir"/*.log
  fi
fi
mkdir -p build-arm
if [ -f "$sysroot/usr/lib/arm-linux-gnueabi/libjpeg.a" ] &&
   build build-arm -DCMAKE_TOOLCHAIN_FILE="$top/cmake/armel.cmake" -DDRAVEL_ARMEL_SYSROOT="$sysroot" \
     -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDRAVEL_TOOLS=OFF -DDRAVEL_BENCH=OFF; then
  run_tests build-arm || fail "ARMv5 unit tests"
  # The ARMv5 service end to end against the same expected files: its board
  # libraries cross-built, the daemons and tools native from the x86 build.
  if [ -x build/dravel ]; then
    tests/golden/run --build build --arm-build build-arm car_park loop \
      || fail "ARMv5 service on the simulated board"
  else
    fail "ARMv5 service on the simulated board: no x86 build"
  fi
  note "ARMv5: the board's package"
  rm -f build-arm/dravel_*.deb
  if (cd build-arm && cpack -G DEB >cpack.log 2>&1) &&
     [ "$(dpkg-deb -f build-arm/dravel_*_armel.deb Architecture 2>/dev/null)" = armel ]; then
    dpkg-deb -c build-arm/dravel_*_armel.deb | awk '{print $NF}' | grep -v '/$'
  else
    cat build-arm/cpack.log; fail "ARMv5 package"
  fi
else
  fail "ARMv5 build"
fi

fi # not --fuzz-long

note "fuzz targets, ${fuzz_seconds}s each"
mkdir -p build-fuzz
if build build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DDRAVEL_FUZZ=ON \
     -DDRAVEL_TOOLS=OFF -DDRAVEL_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
     "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" \
     "-DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" \
     "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined"; then
  for target in build-fuzz/tests/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=build-fuzz/corpus/$name
    mkdir -p "$corpus"
    seeds=$top/tests/fuzz/seeds/${name#fuzz_}
    [ -d "$seeds" ] || seeds=""
    real_files=$top/tests/fuzz/corpus/${name#fuzz_}
    [ -d "$real_files" ] || real_files=""
    if "$target" -max_total_time="$fuzz_seconds" -print_final_stats=1 "$corpus" $seeds $real_files \
         >"build-fuzz/$name.log" 2>&1; then
      printf '%s: %s executions, no finding\n' "$name" \
        "$(grep -m1 'stat::number_of_executed_units' "build-fuzz/$name.log" | awk '{print $2}')"
    else
      tail -40 "build-fuzz/$name.log"; fail "fuzz target $name"
    fi
  done
else
  fail "fuzz build"
fi

# Last, the service against the stand-ins installed as a board SDK, in each
# folder that was built above in this run; each is then configured back to
# the stand-ins. Only the links and the header checks are made anew.
sdk_build() { # folder
  local dir=$1
  local sysroot=$top/$dir-sdk
  rm -rf "$sysroot"
  cmake --install "$dir" --component board --prefix "$sysroot/usr" >"$dir/sdk-install.log" 2>&1 \
    || { cat "$dir/sdk-install.log"; return 1; }
  build "$dir" -DDRAVEL_BOARD_SDK="$sysroot"
}
run_start=$(( $(date +%s) - SECONDS ))
for pair in build:x86 build-arm:ARMv5; do
  dir=${pair%%:*} name=${pair#*:}
  built=""
  [ "$(stat -c %Y "$dir/configure.log" 2>/dev/null || echo 0)" -ge "$run_start" ] && built=1
  for f in "${failed[@]}"; do [ "$f" = "$name build" ] && built=""; done
  [ -n "$built" ] || continue
  note "$name: the service against the stand-ins installed as a board SDK"
  if sdk_build "$dir"; then
    run_tests "$dir" -L unit || fail "$name board SDK unit tests"
  else
    fail "$name board SDK build"
  fi
  cmake -S "$top" -B "$dir" -DDRAVEL_BOARD_SDK= >"$dir/configure.log" 2>&1 || fail "$name configure"
done

if [ ${#failed[@]} -gt 0 ]; then
  note "FAILED: ${failed[*]}"
  exit 1
fi
note "all checks passed"
