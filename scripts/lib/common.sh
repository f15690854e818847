# Shared by the README's commands: package installation and the build.
# Sourced, not run.

# Installs the Debian packages this project needs to build and test, when
# any is missing. Needs root (or sudo) only when something is missing.
vrx_install_deps() {
  local wanted=(cmake ninja-build g++ libgtest-dev util-linux locales libicu-dev libxml2-utils zip unzip
    dpkg-dev lintian groff-base pkg-config bsdextrautils file nlohmann-json3-dev abigail-tools
    doxygen rsyslog rsyslog-gnutls rsyslog-relp gnutls-bin libgnutls28-dev librelp-dev
    libivykis0 libnet1 libwrap0)
  local missing=()
  local pkg
  for pkg in "${wanted[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
      "${missing[@]}"
}

# syslog-ng, the tests' second collector, conflicts with rsyslog as a
# package: it is unpacked (its libraries installed above), not installed,
# where its test fixture looks. Without it those tests are skipped.
vrx_unpack_syslog_ng() {
  local root=/var/cache/vrxagent-tests/syslog-ng
  [ -x "$root/usr/sbin/syslog-ng" ] && return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  local work
  work=$(mktemp -d)
  chmod 755 "$work"
  if (cd "$work" && apt-get download -qq syslog-ng-core 2>/dev/null) &&
    "${sudo[@]}" rm -rf "$root.new" && "${sudo[@]}" mkdir -p "$root.new" &&
    "${sudo[@]}" dpkg-deb -x "$work"/syslog-ng-core_*.deb "$root.new"; then
    "${sudo[@]}" mv "$root.new" "$root"
  else
    echo "syslog-ng could not be unpacked: its tests will be skipped"
  fi
  rm -rf "$work"
}

# Configures and builds one CMake preset.
vrx_build() {
  local preset=$1
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"
}
