#!/bin/sh
# Makes the Debian package of the build and unpacks it into a scratch root:
# it must be named and marked for this machine's architecture, hold exactly
# what `cmake --install` puts in place, among that the given files, start
# the service where the package puts it as `dravel`, and depend on every
# package whose libraries its programs load.
# Arguments: the build folder, a scratch folder, then the files the package
# must hold (absolute paths as installed).
set -u
build=$1
dir=$2
shift 2
rm -rf "$dir" && mkdir -p "$dir"
{ command -v cpack && command -v dpkg-deb && command -v readelf; } >/dev/null 2>&1 || {
	echo "cpack, dpkg-deb or readelf is not installed: the package is not checked"
	exit 0
}
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

(cd "$dir" && cpack -G DEB -B "$dir/cpack" --config "$build/CPackConfig.cmake") >"$dir/cpack.log" 2>&1 ||
	{ cat "$dir/cpack.log"; exit 1; }
arch=$(dpkg --print-architecture)
deb=$(ls "$dir"/cpack/dravel_*_"$arch".deb 2>/dev/null)
if [ -z "$deb" ] || [ "$(echo "$deb" | wc -l)" -ne 1 ]; then
	ls -R "$dir/cpack"
	echo "FAILED: not one dravel_*_$arch.deb"
	exit 1
fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = dravel ] || fail "Package is $(field Package)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is $(field Architecture)"
field Maintainer | grep -q '<.*@.*>' || fail "Maintainer '$(field Maintainer)' has no address"
depends=$(field Depends)

root=$dir/root
dpkg-deb -x "$deb" "$root"
(cd "$root" && find . ! -type d | sed 's|^\.||' | sort) >"$dir/packaged"
DESTDIR=$dir/installed cmake --install "$build" >"$dir/install.log" 2>&1 ||
	{ cat "$dir/install.log"; exit 1; }
(cd "$dir/installed" && find . ! -type d | sed 's|^\.||' | sort) >"$dir/installed.list"
diff -u "$dir/installed.list" "$dir/packaged" >"$dir/difference" ||
	{ cat "$dir/difference"; fail "the package holds other files than cmake --install puts in place"; }

for file in "$@"; do
	[ -f "$root$file" ] || fail "$file is not in the package"
done
init=$(grep '/init.d/' "$dir/packaged")
[ -n "$init" ] && [ -x "$root$init" ] || fail "no executable init script"
[ -n "$init" ] && dpkg-deb --ctrl-tarfile "$deb" | tar -xOf - ./conffiles | grep -qx "$init" ||
	fail "the init script is no conffile"
daemon=$(sed -n 's/^DAEMON=//p' "$root$init")
unit=$(grep '/dravel.service$' "$dir/packaged")
# systemd's "@": the program, then its argv[0], the service's log identity.
start=$(sed -n 's/^ExecStart=@\([^ ]*\) dravel -f$/\1/p' "$root$unit")
[ "$daemon" = "$start" ] || fail "the init script starts $daemon, the unit '$start'"

# Each library a program loads is in the package or in a package it
# depends on.
for file in $(cat "$dir/packaged"); do
	head -c 4 "$root$file" | grep -q 'ELF' || continue
	for library in $(readelf -d "$root$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
		grep -q "/$library\$" "$dir/packaged" && continue
		owners=$(dpkg -S "*/$library" 2>/dev/null | sed 's/[:,].*//' | sort -u | tr '\n' ' ')
		found=no
		for owner in $owners; do
			case ", $depends," in *", $owner,"* | *", $owner "*) found=yes ;; esac
		done
		[ "$found" = yes ] || fail "$file loads $library of ${owners:-no package}, not in Depends: $depends"
	done
done

[ "$failures" -eq 0 ] || exit 1
echo "package $(basename "$deb") of $(wc -l <"$dir/packaged") files, Depends: $depends"
