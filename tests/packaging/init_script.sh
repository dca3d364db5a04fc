#!/bin/sh
# Runs the init script against a stand-in service that notes its arguments
# and the signals it gets: start runs one service in the foreground mode,
# reload reaches it as SIGUSR1, stop ends it and clears the pid file. A
# service that ends at once fails the start; the service's argv[0] is its
# bare name, shown by a stand-in that keeps it (tail -f, which stays up).
# Arguments: the configured init script, a scratch folder.
set -u
script=$1
dir=$2
rm -rf "$dir" && mkdir -p "$dir"
command -v start-stop-daemon >/dev/null 2>&1 ||
	{ echo "start-stop-daemon is not installed: the init script is not run" && exit 0; }

log=$dir/service.log
cat >"$dir/dravel" <<SERVICE
#!/bin/sh
trap 'echo reload >>"$log"' USR1
trap 'echo stopped >>"$log"; exit 0' TERM
echo "started \$*" >>"$log"
while :; do sleep 1 & wait \$!; done
SERVICE
chmod +x "$dir/dravel"
mkdir "$dir/ends" "$dir/named"
printf '#!/bin/sh\nexit 1\n' >"$dir/ends/dravel"
chmod +x "$dir/ends/dravel"
ln -s "$(command -v tail)" "$dir/named/dravel"
# An init script for the stand-in dravel of a folder, watching a start for
# the given seconds. A loaded machine slows the stand-in: stop waits a minute
# for it, and the one that ends at once is watched as long.
configure() {
	sed -e "s|^DAEMON=.*|DAEMON=$1/dravel|" -e "s|^PIDFILE=.*|PIDFILE=$dir/dravel.pid|" \
		-e "s|^START_SECONDS=.*|START_SECONDS=$2|" -e "s|^STOP_SECONDS=.*|STOP_SECONDS=60|" \
		-e "s|/etc/default/dravel|$dir/default|g" "$script" >"$1/init"
}
configure "$dir" 1
configure "$dir/ends" 60
configure "$dir/named" 1
echo "VELM_CONF_DIR=$dir/conf" >"$dir/default"

failures=0
check() { # what, then a command that must succeed
	what=$1
	shift
	"$@" || { echo "FAILED: $what"; failures=$((failures + 1)); }
}
alive() { [ -r "$dir/dravel.pid" ] && kill -0 "$(cat "$dir/dravel.pid")" 2>/dev/null; }
log_has() { grep -qx "$1" "$log" 2>/dev/null; }
# The stand-in reacts in its own time: up to a minute on a loaded machine.
wait_for() {
	for _ in $(seq 600); do "$@" && return 0 || sleep 0.1; done
	"$@"
}

check "status of a stopped service is 3" sh -c "sh '$dir/init' status >/dev/null; [ \$? -eq 3 ]"
check "start succeeds" sh "$dir/init" start
check "the service runs in the foreground mode" wait_for log_has "started -f"
check "the pid file names the running service" wait_for alive
pid=$(cat "$dir/dravel.pid" 2>/dev/null)
check "a second start starts no second service" sh "$dir/init" start
check "the same service still runs" [ "$(cat "$dir/dravel.pid" 2>/dev/null)" = "$pid" ]
check "status of a running service is 0" sh "$dir/init" status
check "reload succeeds" sh "$dir/init" reload
check "reload reaches the service as SIGUSR1" wait_for log_has reload
check "the service runs on after a reload" alive
check "the settings file is read" sh -c "tr '\\0' '\\n' </proc/$pid/environ | grep -qx 'VELM_CONF_DIR=$dir/conf'"
check "stop succeeds" sh "$dir/init" stop
check "stop ends the service" log_has stopped
check "stop removes the pid file" [ ! -e "$dir/dravel.pid" ]
check "stop of a stopped service succeeds" sh "$dir/init" stop
check "reload of a stopped service fails" sh -c "! sh '$dir/init' reload"
check "start of a service that ends at once fails" sh -c "! sh '$dir/ends/init' start"
check "a failed start leaves no pid file" [ ! -e "$dir/dravel.pid" ]
check "start of the service that keeps its argv[0] succeeds" sh "$dir/named/init" start
check "its argv[0], the log identity, is the bare name" \
	[ "$(tr '\0' ' ' <"/proc/$(cat "$dir/dravel.pid" 2>/dev/null)/cmdline" 2>/dev/null)" = "dravel -f " ]
check "stop ends it" sh "$dir/named/init" stop
[ "$failures" -eq 0 ] || exit 1
echo "init script: start, status, reload and stop work"
