#!/usr/bin/env bash
# A simulated car park of about two minutes: the real service at an entry and
# an exit barrier sharing their journals, cars arriving and leaving, each
# passage shown as it happens. Installs what it needs (Debian 12, apt-get)
# and builds first. See --help.
set -u
cd "$(dirname "$0")"
top=$PWD

usage() {
  cat <<'EOF'
Usage: ./demo.sh [--fast] [--no-build] [--build DIR] [--run DIR]

Runs a simulated car park: the dravel service at an entry and at an exit
barrier, each on a simulated board (sim/board), sharing the net-base folder
with the occupancy and pass journals as two real boards share a network
mount. An access base made with the accessbase tool lists Ivanov's three cars
with two places between them, a courier's cars by a wildcard pattern, and a
car whose owner may park for one minute and which has stood inside for ten.
Listed cars and strangers come and go; Ivanov's third car finds his places
full; the long-parked car is refused at the exit and the operator's photo
request lets it out; a guest is added to the access base while the services
run and admitted on the next try; the entry camera loses its picture for a
moment.

Every passage is shown as it happens: time, barrier, number, the decision
message and the owner summary, under a line that tells how far the scenario
has run. At the end: the counts of passages, admitted, refused and cars
inside, and where the journals, snapshots, previews and the passage report
(a web page) are.

  --fast       the same scenario ten times as fast (CAMERA_SPEED=10)
  --no-build   use the programs already built in the build folder; install
               nothing
  --build DIR  the build folder (default build-demo, a Release build)
  --run DIR    the folder for everything the run leaves (default out/demo);
               an earlier demo's run there is replaced
  -h, --help   show this text

Runs as root or as any user that may make user namespaces (as unshare -Urm
does): each board gets a mount namespace of its own, in which the service's
fixed paths (/tmp, /var/local, /mnt) are folders of the run folder.

Ctrl-C while the cars come and go stops the services cleanly; the summary
of what ran follows.

Exit status: 0 the car park ran (or was stopped by Ctrl-C), 1 it could not
be built or run, 2 bad command line (an empty folder name or / among them).
EOF
}

speed=1
build_dir=$top/build-demo
run_dir=$top/out/demo
build=true
while [ $# -gt 0 ]; do
  case $1 in
    --fast) speed=10 ;;
    --no-build) build=false ;;
    --build|--run)
      [ $# -ge 2 ] || { echo "demo.sh: $1 needs a folder" >&2; exit 2; }
      # An empty path would resolve to nothing and put the run into /.
      folder=$(realpath -m -- "$2" 2>/dev/null)
      if [ -z "$folder" ] || [ "$folder" = / ]; then
        echo "demo.sh: $1 '$2': name a folder other than the empty path and /" >&2
        exit 2
      fi
      if [ "$1" = --build ]; then build_dir=$folder; else run_dir=$folder; fi
      shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "demo.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done

# The boards keep Moscow time, as the car park's Russian messages suggest; a
# POSIX zone string needs no time-zone data on the machine.
zone=MSK-3
boards=(entry exit)
declare -A direction=([entry]=in [exit]=out) device=([entry]=entry-01 [exit]=exit-01)
accessbase=$build_dir/tools/accessbase/accessbase
reader=$build_dir/tools/journal-reader/journal-reader

if $build; then
  . scripts/packages.sh
  install_packages "${build_packages[@]}" || exit 1
  printf '=== building the service, the board stand-ins and the tools in %s\n' "$build_dir"
  mkdir -p "$build_dir"
  if ! { cmake -S "$top" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDRAVEL_TESTS=OFF \
           -DDRAVEL_BENCH=OFF && cmake --build "$build_dir" -j "$(nproc)"; } \
       >"$build_dir/demo-build.log" 2>&1; then
    tail -40 "$build_dir/demo-build.log"
    echo "demo.sh: the build failed; everything it said is in $build_dir/demo-build.log" >&2
    exit 1
  fi
fi
sim/board --check --build "$build_dir" >/dev/null || exit 1

# Only a folder that an earlier demo made is replaced.
if [ -e "$run_dir" ] && [ ! -e "$run_dir/.demo-run" ] && [ -n "$(ls -A "$run_dir" 2>/dev/null)" ]; then
  echo "demo.sh: $run_dir holds something else than a demo run; name another with --run" >&2
  exit 1
fi
rm -rf "$run_dir"
mkdir -p "$run_dir/net-base" || exit 1
touch "$run_dir/.demo-run"

board_config() { # board: its configuration folder, copied into the board
  local etc=$run_dir/config/$1
  mkdir -p "$etc"
  echo "$zone" >"$etc/TZ"
  cat >"$etc/streams.ini" <<EOF
[common]
deviceid = ${device[$1]}

; The journals go to the network folder both boards share.
[net_base]
use_local_storage = 0
mountdir = /mnt/net

; One storage with the archive: snapshots, passbase.tpp and passbase.csv.
[disc0]
ON = 1
mountpoint = /mnt/disc0

; Started for every passage with the archive's journal line.
[dravel_parking]
external_program = $top/demo/on-passage
EOF
}

make_access_base() {
  local base=$run_dir/accessbase.tpa
  add() { "$accessbase" -f "$base" add "$@"; }
  "$accessbase" -f "$base" create &&
  add A123BC77 --owner Иванов --places 2 --max-time 2:00 --text 'Иванов И.И.}' &&
  add A124BC77 --owner Иванов --places 2 --max-time 2:00 --text 'Иванов И.И.}' &&
  add A125BC77 --owner Иванов --places 2 --max-time 2:00 --text 'Иванов И.И.}' &&
  add 'K???KK77' --owner Курьер --text 'Курьерская служба}' &&
  add M555MM99 --owner Петров --places 1 --max-time 0:01 --text 'Петров П.П.}' &&
  "$accessbase" -f "$base" list
}

for board in "${boards[@]}"; do board_config "$board"; done
make_access_base >"$run_dir/accessbase.log" 2>&1 ||
  { cat "$run_dir/accessbase.log"; echo "demo.sh: the access base was not made" >&2; exit 1; }
python3 demo/parked_car.py "$run_dir/net-base/netnumbase.tpn" M555MM99 Петров 10 || exit 1

length=$(awk '$2 == "stop" { print $1 }' demo/entry.scenario)
archive() { echo "$1=$run_dir/$1/mnt/disc0/${device[$1]}"; }
shown=()
for board in "${boards[@]}"; do shown+=(--board "$(archive "$board")"); done

printf '=== the car park: %s s of scenario%s; everything goes to %s\n' "$length" \
  "$([ "$speed" = 1 ] || echo " at $speed times the speed")" "$run_dir"
printf 'time      board  number     decision                                owner summary\n'

# The scenario's run lines find the demo's helpers by name.
export PATH=$top/demo:$PATH
runners=()
# Ctrl-C ends the boards as their scenarios would: the services stop cleanly.
# A board's service is out of the terminal's reach, so its runner stops it
# with one SIGTERM; a board not started yet is not started at all.
trap 'stopped=yes; kill -TERM "${runners[@]}" 2>/dev/null' INT TERM
stopped=no
for board in "${boards[@]}"; do
  [ "$stopped" = no ] || break
  sim/board --build "$build_dir" --run "$run_dir" --direction "${direction[$board]}" \
    --config "$run_dir/config/$board" --access "$run_dir/accessbase.tpa" \
    --scenario "demo/$board.scenario" --speed "$speed" --stream passages \
    >"$run_dir/runner-$board.log" 2>&1 &
  runners+=($!)
done
TZ=$zone python3 demo/show.py follow --run "$run_dir" "${shown[@]}" --length "$length" \
  --speed "$speed" &
follower=$!

failed=()
for i in "${!runners[@]}"; do
  status=0
  while kill -0 "${runners[$i]}" 2>/dev/null; do
    wait "${runners[$i]}"
    status=$?
  done
  board=${boards[$i]}
  if [ "$status" -ne 0 ]; then
    failed+=("$board")
  elif ! grep -qx 'exit 0' "$run_dir/$board/exit" 2>/dev/null; then
    echo "the $board service ended with $(head -1 "$run_dir/$board/exit" 2>/dev/null)" >&2
    failed+=("$board")
  fi
done
trap - INT TERM
kill -TERM "$follower" 2>/dev/null
wait "$follower"

for board in "${failed[@]}"; do
  echo "=== the $board board:" >&2
  cat "$run_dir/runner-$board.log" >&2
done
echo
TZ=$zone python3 demo/show.py summary --run "$run_dir" "${shown[@]}" --reader "$reader" || exit 1
[ ${#failed[@]} -eq 0 ] || exit 1
