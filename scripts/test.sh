#!/usr/bin/env bash
# The test command: everything CI checks, as named stages run in order,
# the quick ones first. Each stage but setup is a session of noxfile.py
# (`nox -s NAME` runs one alone) and reports how many tests it ran; one
# that ran none fails, one that cannot run here says why and is skipped.
# Each prints its wall time and the processor time its processes used (on
# a busy machine the second says more); a table of all of them closes the
# run. The first failing stage stops it.
#
#   bash scripts/test.sh [pytest arguments]     every stage
#   QUARNEL_QUICK=1 bash scripts/test.sh        the quick stages only
#   QUARNEL_STAGES=native,aarch64 bash scripts/test.sh   just these (setup always runs)
#
# Adding a stage is one line in the list at the end: a name, quick or
# long, and a nox session with its arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
use_ccache
# CTest runs as many native tests at once as there are processors.
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$(nproc)}

pytest_args=("$@")
stage_names=()
stage_results=()
stage_seconds=()
stage_cpu=()
stage_tests=()
run_start=$SECONDS

duration() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

# Processor seconds (user + system) of this shell's finished child processes.
ticks_per_second=$(getconf CLK_TCK)
cpu_seconds() { awk -v hz="$ticks_per_second" '{ printf "%d", ($16 + $17) / hz }' "/proc/$$/stat"; }
run_cpu_start=$(cpu_seconds)

summary() {
  echo
  printf '%-16s %-8s %-6s %-8s %s\n' stage result tests wall cpu
  local i
  for i in "${!stage_names[@]}"; do
    printf '%-16s %-8s %-6s %-8s %s\n' "${stage_names[$i]}" "${stage_results[$i]}" "${stage_tests[$i]}" \
      "$(duration "${stage_seconds[$i]}")" "$(duration "${stage_cpu[$i]}")"
  done
  printf '%-16s %-8s %-6s %-8s %s\n' total "" "" "$(duration $((SECONDS - run_start)))" \
    "$(duration $(($(cpu_seconds) - run_cpu_start)))"
}

# selected NAME quick|long: whether the stage runs (QUARNEL_STAGES, QUARNEL_QUICK).
selected() {
  if [ -n "${QUARNEL_STAGES:-}" ]; then
    [[ ",$QUARNEL_STAGES," == *",$1,"* ]]
  else
    [ "$2" = quick ] || [ "${QUARNEL_QUICK:-0}" != 1 ]
  fi
}

# stage NAME quick|long SESSION [ARGUMENTS...]: the nox session (arguments
# after --); setup is the one stage that is a script, and runs no tests.
stage() {
  local name=$1 kind=$2 session=$3
  shift 3
  [ "$name" = setup ] || selected "$name" "$kind" || return 0
  echo
  echo "==> $name"
  local start=$SECONDS cpu_start rc=0
  cpu_start=$(cpu_seconds)
  local outcome=build/stages/$session
  rm -f "$outcome"
  # (in the foreground: the Ctrl-C tests need SIGINT, which bash ignores in
  # background commands)
  set +e
  if [ "$session" = setup ]; then
    bash scripts/setup.sh
  else
    .venv/bin/nox --no-color -s "$session" ${1+-- "$@"}
  fi
  rc=$?
  set -e
  local took=$((SECONDS - start)) cpu=$(($(cpu_seconds) - cpu_start)) result=ok tests=-
  if ((rc != 0)); then
    result=FAILED
  elif [ "$session" != setup ]; then
    # (noxfile.py: "N tests", or "skipped: why"; nox exits 0 for both)
    tests=$(cat "$outcome" 2>/dev/null || echo "no outcome")
    case $tests in
      skipped*) result=skipped tests=- ;;
      *" tests") tests=${tests% tests} ;;
      *) result=FAILED ;;
    esac
  fi
  stage_names+=("$name")
  stage_results+=("$result")
  stage_tests+=("$tests")
  stage_seconds+=("$took")
  stage_cpu+=("$cpu")
  echo "<== $name: $result in $(duration "$took") (cpu $(duration "$cpu"))"
  if [ "$result" = FAILED ]; then
    summary
    exit 1
  fi
}

stage setup        quick setup
venv_version=$(.venv/bin/python -c 'import sys; print("%d.%d" % sys.version_info[:2])')

# The free-threaded CPythons take minutes to make and are needed only by
# the long stages at the end, so they are made from the start in the
# background, at the lowest priority, on whatever processor time the stages
# leave. A stage that needs one waits for it (the script locks what it
# makes); one that failed there is made again by its stage, which shows why.
# build/logs/background.log has what the background printed.
makes=()
for version in "${ft_python_versions[@]}"; do
  ! selected "python$version" long || makes+=("bash scripts/free_threaded_python.sh $version")
  ! selected tsan-ft long || makes+=("bash scripts/free_threaded_python.sh $version --tsan")
done
background=
if ((${#makes[@]})); then
  mkdir -p build/logs
  # (a session of its own, so that it can be stopped whole; where the
  # kernel groups processes by session for scheduling, that group gets the
  # lowest priority too, or it would take an equal share beside the stages;
  # and not a child of this shell, whose stages' processor times would
  # otherwise count its time in the stage that happens to reap it)
  background=$(setsid nice -n 19 bash -c "echo 19 2>/dev/null >/proc/self/autogroup; $(printf '%s; ' "${makes[@]}")" \
    </dev/null >build/logs/background.log 2>&1 & echo $!)
  trap '[ -z "$background" ] || kill -- "-$background" 2>/dev/null || true' EXIT
fi
stage native       quick native
stage "python$venv_version" quick "tests-$venv_version" "${pytest_args[@]}"
stage numpy1       quick numpy1
# The other CPython versions (python_versions, scripts/lib.sh), then the
# free-threaded ones (ft_python_versions), each made or found by the session.
for version in "${python_versions[@]}" "${ft_python_versions[@]}"; do
  [ "$version" = "$venv_version" ] || stage "python$version" long "tests-$version" "${pytest_args[@]}"
done
stage clang-libcxx long clang-libcxx
stage aarch64      long aarch64
stage wheel        long wheel
stage sanitize     long sanitize "${pytest_args[@]}"
stage tsan         long tsan
stage tsan-ft      long tsan-ft
stage fuzz         long fuzz
summary
