#!/usr/bin/env bash
# Runs the native tests and the Python suite against an AddressSanitizer +
# UBSan build, with leak checking (scripts/test.sh runs it; on its own it
# sets up what it needs). Arguments go to pytest.
set -euo pipefail
source "$(dirname "$0")/sanitizer_env.sh"

# The exhaustive suites at a quarter of their sizes (the test preset): the
# native stage runs them in full; here they look for memory errors, which
# the smaller sets reach as well, in a quarter of the time (ASan slows them
# down fivefold).
ctest --preset sanitize

# conftest.py runs the leak check at the end of the session
# (QUARNEL_LEAK_CHECK), before the interpreter starts tearing down.
QUARNEL_LEAK_CHECK=1 LSAN_OPTIONS="$LSAN_OPTIONS:leak_check_at_exit=0" "${PYTHON_UNDER_ASAN[@]}" \
  -m pytest -q -p no:cacheprovider tests/python --ignore=tests/python/test_typing.py "$@"
