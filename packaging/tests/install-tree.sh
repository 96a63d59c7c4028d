#!/usr/bin/env bash
# Installs the build with `cmake --install` into a temporary folder and uses the installed
# quorvane as an administrator would: install, a port with a script, a printer, a printed job.
# The installed programs must find everything through their own tree: no run path may lead
# into the build folder, no header and no test library may be installed.
# Usage: install-tree.sh BUILD_DIR VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

root=$work/root
cmake --install "$build" --prefix "$root" >/dev/null

[[ -x $root/bin/quorvane ]] || fail "bin/quorvane is not installed"
libs=$(dirname "$(find "$root" -name 'libqvplatform.so.*' -type f | head -n1)")
[[ -n $libs && $(basename "$libs") == quorvane ]] || fail "no versioned libqvplatform in a quorvane library folder"
for plugin in libqvpm.so libmarrowjetui.so; do
  [[ -f $libs/$plugin ]] || fail "$plugin is not in $libs"
done
backend=$root/lib/cups/backend/quorvane
[[ -x $backend ]] || fail "the CUPS backend is not installed as lib/cups/backend/quorvane"
[[ $(stat -c %a "$backend") == 700 ]] || fail "the CUPS backend's mode is $(stat -c %a "$backend"), not 0700"
[[ -f $libs/libqvcups.so.0 || -n $(find "$libs" -name 'libqvcups.so.*') ]] || fail "libqvcups is not in $libs"
headers=$(find "$root" -name '*.h' -o -name '*.hpp')
[[ -z $headers ]] || fail "headers installed: $headers"
tests=$(find "$root" -name '*test*')
[[ -z $tests ]] || fail "test files installed: $tests"
while IFS= read -r file; do
  if readelf -d "$file" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
    fail "$file has a run path into the build folder"
  fi
done < <(find "$root" -type f)

# A clean environment: nothing of the build on any search path.
qv() { env -i PATH=/usr/bin:/bin HOME="$work" QUORVANE_PREFIX="$work/prefix" "$root/bin/quorvane" "$@"; }
[[ $(qv --version) == "quorvane $version" ]] || fail "quorvane --version does not say $version"
qv install >/dev/null
# The command loads the CUPS side from its own library folder: with no scheduler to reach, it fails
# for want of the scheduler, not of a library.
cups_err=$(env -i PATH=/usr/bin:/bin HOME="$work" QUORVANE_PREFIX="$work/prefix" CUPS_SERVER=/nonexistent/cups.sock \
  "$root/bin/quorvane" --print-system cups printer list 2>&1 >/dev/null || true)
[[ $cups_err == *"can't be reached"* ]] || fail "the installed quorvane did not reach for CUPS: $cups_err"
qv reg add 'HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\Quorvane\Archive' \
  /v Script /t REG_SZ /d 'WriteFile: C:\Jobs\?DN?.prn' /f >/dev/null
qv printer add "Archive" --port Archive >/dev/null
printf 'installed tree\r\n' > "$work/page.txt"
qv print --printer "Archive" --title page --user tester "$work/page.txt" >/dev/null
cmp -s "$work/page.txt" "$work/prefix/drive_c/Jobs/page.prn" || fail "the printed job did not land in C:\\Jobs"
# The installed backend finds its libraries and lists the port, as CUPS's device daemon runs it.
env -i PATH=/usr/bin:/bin QUORVANE_PREFIX="$work/prefix" "$backend" | grep -qF 'direct quorvane:/Archive ' ||
  fail "the installed backend does not list quorvane:/Archive"
qv uninstall >/dev/null
echo "installed tree works"
