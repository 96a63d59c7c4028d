#!/usr/bin/env bash
# The package's life on this machine: install it, run the demo's steps with the installed
# quorvane (nothing of a build on any search path), remove it (the ports stay), install it again
# (the ports are back), purge it, and check that nothing of it is left. Needs root; refuses to
# run where Quorvane is already installed or /var/lib/quorvane exists, so it never touches an
# installation that is in use.
# Usage: check-package.sh quorvane_<version>_<arch>.deb
set -euo pipefail
deb=$(realpath "$1")
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=/var/lib/quorvane
fail() { echo "FAIL: $*" >&2; exit 1; }
installed() { dpkg-query -W -f='${Status}' quorvane 2>/dev/null | grep -q "install ok installed"; }
clean_env=(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8)

[[ $(id -u) -eq 0 ]] || fail "needs root (dpkg -i)"
if installed || [[ -e $prefix ]]; then
  fail "Quorvane is already installed here ($prefix or the package): not touching it"
fi

echo "-- dpkg -i"
dpkg -i "$deb" >/dev/null
[[ -f $prefix/registry.db ]] || fail "installing did not set up $prefix"
files=$(dpkg -L quorvane)

echo "-- the demo with /usr/bin/quorvane"
"${clean_env[@]}" QUORVANE=/usr/bin/quorvane QUORVANE_PREFIX=$prefix "$root/scripts/demo" >/dev/null
find "$prefix/drive_c/Jobs" -type f -name 'demo-*.prn' | grep -q . || fail "the demo's job did not land in C:\\Jobs"

echo "-- dpkg -r keeps the ports; installing again brings them back"
dpkg -r quorvane >/dev/null
[[ -f $prefix/registry.db ]] || fail "removing the package removed $prefix"
dpkg -i "$deb" >/dev/null
"${clean_env[@]}" quorvane ports | grep -q 'Demo' || fail "the port Demo did not come back"

echo "-- dpkg --purge"
dpkg --purge quorvane >/dev/null
installed && fail "the package is still installed"
[[ -e $prefix ]] && fail "$prefix is left after purge"
while IFS= read -r path; do
  # Folders of the system (/usr/bin, ...) stay; anything of the package's own must be gone.
  if [[ -e $path && ( ! -d $path || $path == *quorvane* ) ]]; then
    fail "$path is left after purge"
  fi
done <<<"$files"
echo "package installed, used, removed and purged cleanly"
