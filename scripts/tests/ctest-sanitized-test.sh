#!/usr/bin/env bash
# Runs scripts/ctest-sanitized on small made-up test projects: a test that failed only because
# LeakSanitizer's tracer crashed gets one more run (and passes the run if that one passes), also
# when a check failed on that crash's text in a child's output; any other failure fails the run,
# also when the tracer crashed in the same test.
# Usage: ctest-sanitized-test.sh PATH/TO/ctest-sanitized
set -uo pipefail
script=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/qv-ctest-sanitized-XXXXXX")
trap 'rm -rf "$work"' EXIT
banner="==1==LeakSanitizer has encountered a fatal error."
# A test command: on its first run prints the lines given and fails; on later runs passes.
cat >"$work/first-run-fails" <<'SCRIPT'
#!/usr/bin/env bash
state=$1; shift
if [[ ! -e $state ]]; then
  : >"$state"
  printf '%s\n' "$@"
  exit 1
fi
echo "[  PASSED  ] 1 test."
SCRIPT
# A test command that always prints the lines given and fails.
cat >"$work/always-fails" <<'SCRIPT'
#!/usr/bin/env bash
shift
printf '%s\n' "$@"
exit 1
SCRIPT
chmod +x "$work/first-run-fails" "$work/always-fails"

failures=0
# check NAME EXPECTED_STATUS TEST_NAME COMMAND LINES...: one project with a passing test beside
# TEST_NAME, run through the script with -j2.
check() {
  local row=$1 expected=$2 name=$3 command=$4
  shift 4
  local project=$work/$row
  mkdir -p "$project"
  {
    echo 'cmake_minimum_required(VERSION 3.19)'
    echo 'project(made_up NONE)'
    echo 'enable_testing()'
    echo 'add_test(NAME Beside.Passes COMMAND sh -c "sleep 0.2; echo [  PASSED  ] 1 test.")'
    printf 'add_test(NAME [=[%s]=] COMMAND [=[%s]=] [=[%s]=]' "$name" "$work/$command" "$project/state"
    for line in "$@"; do printf ' [=[%s]=]' "$line"; done
    echo ')'
  } >"$project/CMakeLists.txt"
  cmake -S "$project" -B "$project/build" >/dev/null || { echo "FAIL $row: configure"; failures=$((failures + 1)); return; }
  local status=0
  (cd "$project/build" && "$script" -j2 >"$project/out" 2>&1) || status=$?
  if [[ $expected == pass && $status -ne 0 ]] || [[ $expected == fail && $status -eq 0 ]]; then
    echo "FAIL $row: expected the run to $expected, it exited with $status"
    sed 's/^/    /' "$project/out"
    failures=$((failures + 1))
  else
    echo "ok   $row"
  fi
}

check tool-crash-only pass Suite.Test first-run-fails \
  "[  PASSED  ] 1 test." "Tracer caught signal 11" "$banner"
check tool-crash-odd-name pass "Suite.Odd name: with [brackets]" first-run-fails \
  "[  PASSED  ] 1 test." "Tracer caught signal 11" "$banner"
check real-failure-and-tool-crash fail Suite.Test first-run-fails \
  "[  FAILED  ] Suite.Test (3 ms)" "Tracer caught signal 11" "$banner"
check sanitizer-finding-and-tool-crash fail Suite.Test first-run-fails \
  "==1==ERROR: AddressSanitizer: heap-use-after-free" "$banner"
check real-failure fail Suite.Test first-run-fails "[  FAILED  ] Suite.Test (3 ms)"
# A check on a child process's standard error fails when the tracer crashed in that child.
check child-tool-crash-fails-a-check pass Suite.Test first-run-fails \
  "x.cpp:1: Failure" "    Which is: \"job 1 failed\\n$banner\\n\"" "[  FAILED  ] Suite.Test (3 ms)"
check another-check-failed-too fail Suite.Test first-run-fails \
  "x.cpp:1: Failure" "    Which is: \"$banner\"" "x.cpp:2: Failure" "Expected: 1" "[  FAILED  ] Suite.Test (3 ms)"
check tool-crash-twice fail Suite.Test always-fails "Tracer caught signal 11" "$banner"
exit $((failures > 0))
