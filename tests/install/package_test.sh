#!/bin/bash
# What a user gets from `cmake --install` and from the Debian package:
#   manual      the manual renders without warnings and documents every
#               outcome text, code and fixed path of the controller
#   install     an install tree: a C program builds against it with
#               find_package and with pkg-config, runs, and still does after
#               the tree is moved; with no variable set it finds the data in
#               the configured data directory
#   build       a tree configured for /usr is built and packaged (setup of
#               the three checks below)
#   contents    the packages' paths, modes, owners, control fields and
#               scripts; every program and library hardened (PIE, read-only
#               relocations bound at start, stack protector, fortified
#               calls); lintian, with no tag but the ones listed here
#   installed   the unpacked packages' controller behaves as the build
#               tree's; the C and C++ programs and the packaged examples
#               build against the unpacked tree
#   purge       the packages installed with dpkg (in a private mount
#               namespace, over throw-away layers of /usr, /etc and /var):
#               the controller runs; purging it removes its trace files and
#               the directories left empty, and nothing of another product;
#               removing the rest leaves none of their files
#
#   package_test.sh STEP SOURCE_DIR BUILD_DIR WORK_DIR
#
# Steps that need root (a private mount namespace) report themselves skipped
# (exit 77) without it.
set -euo pipefail
step=$1 source=$2 build=$3 work=$4
here=$source/tests/install
fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIPPED: $*"; exit 77; }

mkdir -p "$work"

# ---- manual --------------------------------------------------------------
manual() {
  local page=$source/man/agentcontroller.8 warnings text
  warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed: $warnings"
  [ -z "$warnings" ] || fail "groff warnings: $warnings"
  # Rendered wide and joined, so a text is found whatever the line breaks.
  text=$(groff -man -Tutf8 -rLL=300n "$page" 2>/dev/null | col -bx | tr -s ' \n' '  ')
  local expected=(
    # start outcomes
    "vrxagent.sh successfully started"
    "Error: vrxagent.sh service doesn't seem to be installed. Start Failed"
    "vrxagent.sh service doesn't seem to be installed. Start skipped"
    "Error: vrxagent.sh service cannot start because of missing secpack prereq. Start Failed"
    "Error: vrxagent.sh couldn't be started"
    # stop outcomes
    "vrxagent successfully stopped"
    "vrxagent service doesn't seem to be installed. Stop skipped"
    "Error: vrxagent couldn't be stopped"
    # command line
    "Option 'arg' not supported."
    "[[start [-i [-p]|-u]] | [stop [-i|-u]]]"
    "Error: trace_path parameter cannot be an empty string"
    "Error opening file" "Error writing err code" "Written slmerr (rc="
    "--help" "--version"
    # what the ini file must hold to count
    "communication_type" "agentid" "division" "organization" "trace_level" "trace_size"
    "msglog_size" "tcpip_port" "Critical error, missing communication_type"
    # codes and exit codes of the agent's commands
    "-8" "31" "-201" "-203" "-202" "0 or 12" "58" "5 or 6"
    # files
    "/etc/vrxagent.ini" "agent_base_dir" "/usr/sbin/" "vrxagent.sh" "/vrxagent"
    "apxagent/APXAgentClient.sh" "/etc/nuv/zemlor/common/cfg/log.properties"
    "/var/nuv/zemlor/common" "zemlor_common_dir=" "/QAG/logs/install/trace/traceAgentController.log"
    "logs/agent/trace" "logs/agent/message" "logs/install/trace" "ffdc/agent" "scripts/agent"
    "traceAgentController1.log" "traceAgentController2.log" "100000 bytes" "31457280"
    # environment
    "NLSPATH" "ZILDIR" "LANG" "LC_ALL" "LC_MESSAGES" "LD_LIBRARY_PATH"
    "/usr/share/vrxagent/nls/" "/usr/share/vrxagent/generic/codeset/"
  )
  local missing=0 item
  for item in "${expected[@]}"; do
    if [[ "$text" != *"$item"* ]]; then
      echo "manual lacks: $item" >&2
      missing=1
    fi
  done
  local section
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" "ERROR-CODE FILE" FILES \
                 ENVIRONMENT NOTES EXAMPLES "SEE ALSO"; do
    grep -q "^\.SH \"\?$section\"\?\$" "$page" || { echo "manual lacks section $section" >&2; missing=1; }
  done
  [ $missing -eq 0 ] || fail "the manual is incomplete"
  local other
  for other in "$source"/man/*.[1-9]; do
    warnings=$(groff -man -ww -z "$other" 2>&1) || fail "groff failed on $other: $warnings"
    [ -z "$warnings" ] || fail "groff warnings in $other: $warnings"
  done
}

# ---- the consumers (C and C++) -------------------------------------------
expected_output() {  # KIND
  local language=C
  [ "${1#cxx-}" = "$1" ] || language=C++
  printf 'utf8: Gr\xc3\xbc\xc3\x9f Gott, \xc2\xa9 caf\xc3\xa9\n'
  printf 'logged: from %s 42\n' "$language"
  printf 'catalog: KVLFF0064E Could not create the zip file %%s.\n'
}

# The kinds of consumer: C or C++, found with CMake or pkg-config, linked
# static or shared.
consumer_kinds="cmake cmake-shared pc pc-shared cxx-cmake cxx-cmake-shared cxx-pc cxx-pc-shared"

# Builds the consumer against PREFIX every way into OUT/<kind>; a shared one
# finds the libraries through its run path, a static one needs none.
build_consumers() {
  local prefix=$1 out=$2 pcdir libdir
  rm -rf "$out" && mkdir -p "$out"
  cmake -S "$here/consumer" -B "$out/cmake-tree" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    >"$out/cmake.log" 2>&1 && cmake --build "$out/cmake-tree" >>"$out/cmake.log" 2>&1 ||
    { cat "$out/cmake.log" >&2; fail "find_package build against $prefix"; }
  cp "$out/cmake-tree/consumer" "$out/cmake"
  cp "$out/cmake-tree/consumer_shared" "$out/cmake-shared"
  cp "$out/cmake-tree/consumer_cxx" "$out/cxx-cmake"
  cp "$out/cmake-tree/consumer_cxx_shared" "$out/cxx-cmake-shared"
  pcdir=$(dirname "$(find "$prefix" -name vrxagent-kavel.pc | head -1)")
  export PKG_CONFIG_PATH=$pcdir
  libdir=$(pkg-config --variable=libdir vrxagent-kavel)
  local compiler source prefix_kind
  for compiler in cc c++; do
    source=$here/consumer/consumer.c prefix_kind=
    [ $compiler = c++ ] && source=$here/consumer/consumer.cpp prefix_kind=cxx-
    # shellcheck disable=SC2046
    $compiler -o "$out/${prefix_kind}pc-shared" "$source" $(pkg-config --cflags --libs vrxagent-kavel) \
      -Wl,-rpath,"$libdir" || fail "pkg-config build with $compiler against $prefix"
    # shellcheck disable=SC2046
    $compiler -o "$out/${prefix_kind}pc" "$source" $(pkg-config --cflags vrxagent-kavel) \
      "$libdir/libkavel.a" "$libdir/libzil.a" $(pkg-config --static --libs-only-other vrxagent-kavel) \
      -lstdc++ -lm || fail "static pkg-config build with $compiler against $prefix"
  done
  unset PKG_CONFIG_PATH
  local kind needed
  for kind in $consumer_kinds; do
    needed=$(readelf -d "$out/$kind" | grep -cE 'NEEDED.*lib(kavel|zil)\.so\.1' || true)
    case $kind in
      *-shared) [ "$needed" = 2 ] || fail "$kind consumer does not load libkavel.so.1 and libzil.so.1" ;;
      *) [ "$needed" = 0 ] || fail "$kind consumer loads a shared library of ours" ;;
    esac
  done
}

# Runs every consumer of OUT with the environment given, comparing the bytes.
check_consumers() {
  local out=$1 what=$2
  shift 2
  local kind got
  for kind in $consumer_kinds; do
    got=$(env -u ZILDIR -u NLSPATH "$@" "$out/$kind"; echo x) || fail "$what: $kind consumer failed: $got"
    [ "$got" = "$(expected_output "$kind"; echo x)" ] || fail "$what: $kind consumer printed: ${got%x}"
  done
}

# Runs the consumers in a private mount namespace in which MOUNT is set up.
check_consumers_in_namespace() {
  local out=$1 what=$2 mount=$3
  [ "$(id -u)" -eq 0 ] || { echo "not checked without root: $what"; return 0; }
  local got expected
  for kind in $consumer_kinds; do
    expected=$(expected_output "$kind"; echo x)
    got=$(unshare -m --propagation private sh -c "$mount && exec env -u ZILDIR -u NLSPATH $out/$kind"; echo x) ||
      fail "$what: $kind consumer failed"
    [ "$got" = "$expected" ] || fail "$what: $kind consumer printed: ${got%x}"
  done
}

install_tree() {
  local prefix=$work/prefix moved=$work/moved data
  rm -rf "$prefix" "$moved"
  cmake --install "$build" --prefix "$prefix" >"$work/install.log" || fail "cmake --install"
  [ -f "$prefix/generic/codeset/ISO88591" ] || fail "tables not in <prefix>/generic/codeset/"
  [ -f "$prefix/nls/C/kffdcmsg.cat" ] || fail "catalogs not in <prefix>/nls/"
  build_consumers "$prefix" "$work/consumers"
  check_consumers "$work/consumers" "install tree" ZILDIR="$prefix/generic" NLSPATH="$prefix/nls/%L/%N.cat"
  # With no variable, the data is found where the tree was configured to put
  # it: shown by mounting this tree there.
  data=$(sed -n 's/^VRX_INSTALLED_DATA_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
  [ -n "$data" ] && [ -d "$data" ] &&
    check_consumers_in_namespace "$work/consumers" "no variable" "mount --bind $prefix $data"
  mv "$prefix" "$moved"
  build_consumers "$moved" "$work/consumers-moved"
  check_consumers "$work/consumers-moved" "moved tree" ZILDIR="$moved/generic" NLSPATH="$moved/nls/%L/%N.cat"
}

# ---- the package ---------------------------------------------------------
package_tree=$work/../package-tree
version=$(sed -n 's/^project(vrxagent-controller VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")

# Each package: name, architecture, section, what it must depend on (a
# regular expression over its Depends field).
# shellcheck disable=SC2016
packages=(
  "libzil1 amd64 libs ^vrxagent-data \(>= $version\), libc6 .*libstdc\+\+6"
  "libkavel1 amd64 libs ^libzil1 \(= $version\), libc6 .*libstdc\+\+6"
  "libkavelnet1 amd64 libs ^libkavel1 \(= $version\), libc6 .*libgnutls30 .*librelp0 .*libstdc\+\+6"
  "libvrxagent-dev amd64 libdevel ^libzil1 \(= $version\), libkavel1 \(= $version\), libkavelnet1 \(= $version\), libgnutls28-dev, librelp-dev$"
  "vrxagent-data all misc ^$"
  "vrxagent-controller amd64 admin ^vrxagent-data \(>= $version\), libc6 .*libstdc\+\+6"
  "vrxagent-tools amd64 devel ^vrxagent-data \(>= $version\), libc6 .*libstdc\+\+6"
  "vrxagent-doc all doc ^$"
)
deb_of() {  # PACKAGE ARCHITECTURE
  echo "$package_tree/${1}_${version}_$2.deb"
}
all_debs() {
  local entry name arch rest
  for entry in "${packages[@]}"; do
    read -r name arch rest <<<"$entry"
    echo "$(deb_of "$name" "$arch")"
  done
}

build_package() {
  (cd "$source" && cmake --preset deb -B "$package_tree") >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log" >&2; fail "configure for /usr"; }
  cmake --build "$package_tree" >"$work/build.log" 2>&1 || { tail -30 "$work/build.log" >&2; fail "build"; }
  rm -f "$package_tree"/*.deb
  (cd "$package_tree" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack"; }
  local deb
  for deb in $(all_debs); do
    [ -f "$deb" ] || fail "no $(basename "$deb")"
  done
  [ "$(ls "$package_tree"/*.deb | wc -l)" = "${#packages[@]}" ] || fail "other packages: $(ls "$package_tree"/*.deb)"
}

# The expected listing: the fixed part, then one line per table file and
# alias named by data/codesets.txt.
expected_contents() {
  grep -v '^#' "$here/package_contents.txt"
  awk '!/^#/ && NF >= 8 { print $1; n = split($8, a, ","); for (i = 1; i <= n; ++i) print a[i] }' \
    "$source/data/codesets.txt" |
    sed 's|^|vrxagent-data -rw-r--r-- root/root ./usr/share/vrxagent/generic/codeset/|'
}

# Lintian's tags that stay, each for its reason:
#   spelling-error-in-binary setted    "Env var setted: %s" is the
#                                      controller's trace text, kept byte for
#                                      byte
#   spelling-error-in-binary wTH       bytes of a compiled table that happen
#                                      to read so, no text
#   hardening-no-fortify-functions     libzil and kvldrain call no C
#                                      library function the fortified
#                                      headers can check (built with them
#                                      all the same)
allowed_tags='^I: (libkavel1|vrxagent-controller|vrxagent-tools): spelling-error-in-binary (setted set|wTH with) |^I: libzil1: hardening-no-fortify-functions |^I: vrxagent-tools: hardening-no-fortify-functions \[usr/bin/kvldrain\]'
# Programs with no call the fortified headers can check (see above).
unfortifiable=" kvldrain "

contents() {
  local deb entry name arch section depends info
  for deb in $(all_debs); do
    [ -f "$deb" ] || fail "no $(basename "$deb"): the build step did not run"
  done
  for deb in $(all_debs); do
    name=$(dpkg-deb -f "$deb" Package)
    dpkg-deb --contents "$deb" | awk -v p="$name" '{ print p, $1, $2, $6 }'
  done | grep -v ' \./usr/share/doc/vrxagent-doc/html/.' | sort >"$work/contents.got"
  expected_contents | sort >"$work/contents.want"
  diff -u "$work/contents.want" "$work/contents.got" >&2 || fail "package contents differ (- expected, + packaged)"
  for entry in "${packages[@]}"; do
    read -r name arch section depends <<<"$entry"
    deb=$(deb_of "$name" "$arch")
    info=$(dpkg-deb -f "$deb" Package Version Architecture Section)
    [ "$info" = "$(printf 'Package: %s\nVersion: %s\nArchitecture: %s\nSection: %s' "$name" "$version" "$arch" "$section")" ] ||
      fail "$name: control fields: $info"
    [[ "$(dpkg-deb -f "$deb" Depends)" =~ $depends ]] || fail "$name: Depends: $(dpkg-deb -f "$deb" Depends)"
    # Only the controller has a maintainer script, its postrm.
    local scripts
    scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E '(pre|post)(inst|rm)$|config$' | tr '\n' ' ' || true)
    [ "$scripts" = "$([ "$name" = vrxagent-controller ] && echo './postrm ')" ] || fail "$name: scripts: $scripts"
    rm -rf "$work/root-$name" && dpkg-deb -x "$deb" "$work/root-$name"
  done
  # The API reference: its index and a page per part of each header.
  local page
  for page in index.html kavel_8h.html zil_8h.html group__logging.html group__conversions.html \
              md_doc_api_toolkit_classes.html file_log_8c-example.html; do
    [ -f "$work/root-vrxagent-doc/usr/share/doc/vrxagent-doc/html/$page" ] || fail "vrxagent-doc lacks $page"
  done
  # Programs and libraries are stripped and hardened.
  local program dynamic segments symbols
  for program in "$work"/root-*/usr/bin/* "$work"/root-*/usr/sbin/* "$work"/root-lib*1/usr/lib/*/lib*.so.1.0.0; do
    dynamic=$(readelf -d "$program") segments=$(readelf -lW "$program")
    symbols=$(readelf -W --dyn-syms "$program")
    file "$program" | grep -q ", stripped" || fail "$program is not stripped"
    readelf -S "$program" | grep -q ' \.comment ' && fail "$program keeps the compiler's .comment"
    case $program in
      *.so.*) grep -q "Flags: .*NOW" <<<"$dynamic" || fail "$program: not bound at start" ;;
      *) grep -q "Flags: .*NOW.*PIE" <<<"$dynamic" || fail "$program: not a PIE bound at start"
         [[ "$unfortifiable" == *" $(basename "$program") "* ]] ||
           grep -Eq " __[a-z]+_chk@" <<<"$symbols" || fail "$program: no fortified calls" ;;
    esac
    grep -q GNU_RELRO <<<"$segments" || fail "$program: no read-only relocations"
    grep -q " __stack_chk_fail@" <<<"$symbols" || fail "$program: no stack protector"
  done
  # shellcheck disable=SC2046
  lintian -I -E --pedantic $(all_debs) 2>&1 | grep -v "running with root privileges" >"$work/lintian.out" || true
  if grep -Ev "$allowed_tags" "$work/lintian.out" | grep -q .; then
    cat "$work/lintian.out" >&2
    fail "lintian reports tags not justified in this test"
  fi
}

# Runs one controller through the namespace harness against the fake agent;
# writes OUT.{out,err,status,errfile,trace}.
run_controller() {
  local controller=$1 scene=$2 out=$3 case_dir
  shift 3
  case_dir=$work/scene-$RANDOM$RANDOM
  rm -rf "$case_dir" && mkdir -p "$case_dir/sbin" "$case_dir/var"
  local name rc
  for name in vrxagent.sh vrxagent; do cp "$source/tests/e2e/fake_agent.sh" "$case_dir/sbin/$name"; done
  echo 5 >"$case_dir/sbin/vrxagent.rc"
  case $scene in
    prereq) echo 58 >"$case_dir/sbin/vrxagent.sh.-g.rc" ;;
    missing) rm "$case_dir/sbin/vrxagent.sh" ;;
  esac
  set +e
  "$source/tests/e2e/agent_ns.sh" "$case_dir" -- "$controller" "$case_dir/errfile" "$@" \
    >"$out.out" 2>"$out.err"
  echo $? >"$out.status"
  set -e
  [ "$(cat "$out.status")" != 125 ] || fail "the namespace harness failed: $(cat "$out.err")"
  cat "$case_dir/errfile" >"$out.errfile" 2>/dev/null || echo "(none)" >"$out.errfile"
  # Times, process and thread ids differ from run to run.
  sed -e 's|<Time Millis="[0-9]*">[^<]*</Time>|<Time/>|' \
      -e 's|<Thread>[0-9]*</Thread>|<Thread/>|' -e 's|<Process>[0-9]*</Process>|<Process/>|' \
      "$case_dir"/var/nuv/zemlor/common/QAG/logs/install/trace/traceAgentController*.log \
      >"$out.trace" 2>/dev/null || echo "(no trace)" >"$out.trace"
  rm -rf "$case_dir"
}

installed() {
  [ "$(id -u)" -eq 0 ] || skip "needs root to make a private mount namespace"
  local deb root=$work/root
  rm -rf "$root"
  for deb in $(all_debs); do
    [ -f "$deb" ] || fail "no $(basename "$deb"): the build step did not run"
    dpkg-deb -x "$deb" "$root"
  done
  local cases=("start-plugin|ok|start -i -p" "stop|ok|stop -u" "prereq|prereq|start -i" "missing|missing|start -i")
  local entry label scene args part
  for entry in "${cases[@]}"; do
    IFS='|' read -r label scene args <<<"$entry"
    # shellcheck disable=SC2086
    run_controller "$build/agent/agentcontroller" "$scene" "$work/$label.built" $args
    # shellcheck disable=SC2086
    run_controller "$root/usr/sbin/agentcontroller" "$scene" "$work/$label.packaged" $args
    for part in out err status errfile trace; do
      cmp -s "$work/$label.built.$part" "$work/$label.packaged.$part" || {
        diff -u "$work/$label.built.$part" "$work/$label.packaged.$part" >&2 || true
        fail "$label: the packaged controller's $part differs from the build tree's"
      }
    done
    grep -q "<Trace" "$work/$label.packaged.trace" || fail "$label: no trace records"
  done
  [ "$(cat "$work/prereq.packaged.errfile")" = 31 ] || fail "prerequisite case: error-code file not 31"
  build_consumers "$root/usr" "$work/consumers-deb"
  check_consumers "$work/consumers-deb" "unpacked package" \
    ZILDIR="$root/usr/share/vrxagent/generic" NLSPATH="$root/usr/share/vrxagent/nls/%L/%N.cat"
  # Installed, the data is in /usr/share/vrxagent and found with no variable.
  check_consumers_in_namespace "$work/consumers-deb" "unpacked package, no variable" \
    "mount -t overlay overlay -o lowerdir=$root/usr/share:/usr/share /usr/share"
  # The packaged examples build against the unpacked package, and run.
  local examples=$work/examples-deb
  rm -rf "$examples"
  { cmake -S "$root/usr/share/doc/libvrxagent-dev/examples/logging" -B "$examples" \
      -DCMAKE_PREFIX_PATH="$root/usr" -Dvrx_mkcat="$root/usr/bin/zil_mkcat" &&
    cmake --build "$examples"; } >"$work/examples.log" 2>&1 ||
    { cat "$work/examples.log" >&2; fail "the packaged examples do not build"; }
  ZILDIR="$root/usr/share/vrxagent/generic" "$examples/example_convert" >"$work/convert.out"
  grep -q "^IBM1047   C3 81 86 51" "$work/convert.out" || fail "the packaged convert example"
}

# Installs the packages with dpkg in a private mount namespace whose /usr,
# /etc and /var are throw-away layers over the machine's own, so nothing
# reaches the machine. Runs the controller there, then purges it and
# removes the rest, checking what each leaves.
purge() {
  [ "$(id -u)" -eq 0 ] || skip "needs root to make a private mount namespace"
  local deb
  for deb in $(all_debs); do
    [ -f "$deb" ] || fail "no $(basename "$deb"): the build step did not run"
  done
  local layers=$work/layers
  rm -rf "$layers" && mkdir -p "$layers"
  # shellcheck disable=SC2046
  unshare -m --propagation private bash -s "$layers" $(all_debs) >"$work/purge.log" 2>&1 <<'SCRIPT' ||
set -euo pipefail
layers=$1
shift
for top in usr etc var; do
  mkdir -p "$layers/$top.up" "$layers/$top.work"
  mount -t overlay overlay -o "lowerdir=/$top,upperdir=$layers/$top.up,workdir=$layers/$top.work" "/$top"
done
# Nothing of an earlier run of the controller, of this or another product.
rm -rf /etc/nuv /var/nuv /etc/vrxagent.ini
export DEBIAN_FRONTEND=noninteractive
dpkg -i "$@"
for package in libzil1 libkavel1 libkavelnet1 libvrxagent-dev vrxagent-data vrxagent-controller vrxagent-tools vrxagent-doc; do
  dpkg-query -W -f='${Status}\n' "$package" | grep -qx "install ok installed"
done
# The host's record names a common directory of its own (the way the
# controller reads it: blanks around the value).
mkdir -p /etc/nuv/zemlor/common/cfg
printf '  zemlor_common_dir = /var/nuv/site-logs \r\n' >/etc/nuv/zemlor/common/cfg/log.properties
# No agent is installed: the controller says so, and traces it.
agentcontroller "$layers/rc" stop -u || true
common=/var/nuv/site-logs
ls "$common"/QAG/logs/install/trace/traceAgentController.log
# Another product's files, and the agent's own trace, in the same tree.
mkdir -p "$common/OTHER" && echo other >"$common/OTHER/other.log"
echo agent >"$common/QAG/logs/agent/trace/trace.log"
dpkg --purge vrxagent-controller
find /etc/nuv "$common" | sort >"$layers/after-purge"
dpkg -r libvrxagent-dev vrxagent-tools vrxagent-doc libkavelnet1 libkavel1 libzil1 vrxagent-data
for package in libzil1 libkavel1 libkavelnet1 libvrxagent-dev vrxagent-data vrxagent-controller vrxagent-tools vrxagent-doc; do
  dpkg-query -W -f='${Package} ${Status}\n' "$package" 2>/dev/null || true
done >"$layers/after-removal"
SCRIPT
    { cat "$work/purge.log" >&2; fail "install, run, purge and removal in the namespace"; }
  local left
  left=$(cat "$layers/after-purge")
  local want="/etc/nuv
/etc/nuv/zemlor
/etc/nuv/zemlor/common
/etc/nuv/zemlor/common/cfg
/etc/nuv/zemlor/common/cfg/log.properties
/var/nuv/site-logs
/var/nuv/site-logs/OTHER
/var/nuv/site-logs/OTHER/other.log
/var/nuv/site-logs/QAG
/var/nuv/site-logs/QAG/logs
/var/nuv/site-logs/QAG/logs/agent
/var/nuv/site-logs/QAG/logs/agent/trace
/var/nuv/site-logs/QAG/logs/agent/trace/trace.log"
  [ "$left" = "$want" ] || { cat "$work/purge.log" >&2; fail "after the purge the tree holds: $left"; }
  # Removed, each package leaves at most its configuration (it has none):
  # dpkg knows it as not installed, and none of its files is left.
  grep -v " not-installed$" "$layers/after-removal" | grep . && fail "packages still installed after removal"
  local up
  # (Directories of the machine's own the packages wrote into are copied
  # up into the layer; no file or link of a package may stay.)
  up=$(find "$layers/usr.up" \( -type f -o -type l \) -print)
  [ -z "$up" ] || fail "files left in /usr after removal: $up"
  rm -rf "$layers"
}

case $step in
  manual) manual ;;
  purge) purge ;;
  install) install_tree ;;
  build) build_package ;;
  contents) contents ;;
  installed) installed ;;
  *) fail "unknown step $step" ;;
esac
echo "ok: $step"
