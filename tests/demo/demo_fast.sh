#!/bin/sh
# ./demo.sh --fast on an already built tree: the counts it ends with, the
# passages a person reads on the way, and what the boards' external program
# was handed. Exit 77 (skipped) where no board can run.
# Arguments: the source folder, the build folder, a scratch run folder.
top=$1 build=$2 run=$3
fail() { echo "FAILED: $*"; exit 1; }

if ! why=$("$top/sim/board" --check --build "$build" 2>&1); then
  echo "$why"
  case $why in *"no mount namespace"*) echo "skipped: no board can run here"; exit 77 ;; esac
  fail "the simulated board cannot run"
fi
out=$("$top/demo.sh" --fast --no-build --build "$build" --run "$run" 2>&1)
status=$?
echo "$out"
[ $status -eq 0 ] || fail "demo.sh ended with $status"

# Ivanov's third car finds both of his places held, and gets one once his
# first car has left. M555MM99 was parked before the run, so it stays inside
# after the operator let it out.
printf "%s\n" "$out" | grep -qx 'Summary: 14 passages, 9 admitted, 5 refused; 3 cars inside now: M555MM99, A124BC77, A125BC77' ||
  fail "the summary's counts"
while IFS='|' read -r board number message summary; do
  printf "%s\n" "$out" | grep -q "^[0-9:]\{8\}  $board *$number *$message *$summary\$" ||
    fail "no passage line: $board $number $message $summary"
done <<'PASSAGES'
entry|A123BC77|Разрешено автоматически по списку|Иванов: въезд (0+1)
entry|A125BC77|Запрещено, все места (2) заняты|Иванов: въезд (2+1)
entry|A125BC77|Разрешено автоматически по списку|Иванов: въезд (1+1)
entry|X999XX99|Запрещено автоматически, нет в списке|
entry|X999XX99|Разрешено автоматически по списку|Гость: въезд (0+1)
entry|C?65CC77|Запрещено автоматически, нет в списке|
entry|K123KK77|Разрешено автоматически по списку|Курьер: въезд (0+1)
exit|M555MM99|Запрещено, время стоянки > 0:01|Петров: выезд (0-1)
exit|M555MM99|Разрешено вручную оператором|Петров: выезд (0-1)
exit|X999XX99|Разрешено автоматически по списку|Гость: выезд (0-1)
PASSAGES
[ -s "$run/report.html" ] || fail "no passage report"

# One call of the external program for each passage of its board, each with
# the journal line as its one argument.
for board in entry exit; do
  log=$run/$board/tmp/external-program.log
  calls=$(grep -c '' "$log") || fail "no external program calls at the $board"
  passages=$(printf "%s\n" "$out" | grep -c "^[0-9:]\{8\}  $board  *[A-Z0-9?~]")
  [ "$calls" -eq "$passages" ] || fail "$calls external program calls for $passages passages at the $board"
  ! grep -v '^1 argument(s): ' "$log" || fail "an external program call with other than one argument"
done
echo "passed"
