# The Debian 12 packages the project's scripts need, and how they get them.
# Sourced by test.sh and demo.sh (bash).

# Any build: every build compiles the tests too, the simulated boards are
# run by python3, and a start-up case names a zone of the time-zone data.
build_packages=(cmake ninja-build ccache g++ libjpeg62-turbo-dev googletest libgtest-dev python3
                tzdata)
# The whole test run beside that: the fuzz and sanitizer compiler, the
# benchmarks, the ARMv5 cross build run under qemu, the armel libjpeg fetch.
test_packages=(clang libclang-rt-14-dev libturbojpeg0-dev libbenchmark-dev
               g++-arm-linux-gnueabi qemu-user binutils ca-certificates)
# Wanted by the test run, which skips the operator's page in a browser
# without them.
browser_packages=(busybox chromium chromium-driver)

not_installed() { # packages; prints those not installed
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

# install_packages NEEDED... [--optional WANTED...]
# Installs what is missing with apt-get, through sudo unless run as root.
# Returns non-zero when a needed package cannot be installed; a wanted one
# that cannot is only reported.
install_packages() {
  local needed=() wanted=() missing missing_wanted sudo=""
  while [ $# -gt 0 ] && [ "$1" != --optional ]; do needed+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  wanted=("$@")
  mapfile -t missing < <(not_installed "${needed[@]}")
  mapfile -t missing_wanted < <(not_installed "${wanted[@]}")
  [ ${#missing[@]} -gt 0 ] || [ ${#missing_wanted[@]} -gt 0 ] || return 0
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -q
  if [ ${#missing[@]} -gt 0 ]; then
    printf '\n=== installing %s\n' "${missing[*]}"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}" \
      || { echo "cannot install ${missing[*]}"; return 1; }
  fi
  if [ ${#missing_wanted[@]} -gt 0 ]; then
    printf '\n=== installing %s\n' "${missing_wanted[*]}"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing_wanted[@]}" \
      || echo "cannot install ${missing_wanted[*]}: the tests that need it are skipped"
  fi
}
