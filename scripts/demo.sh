#!/usr/bin/env bash
# Sets up (see setup.sh), then runs the end-to-end demo on the bundled sample data.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
.venv/bin/python examples/demo.py "$@"
