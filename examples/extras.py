"""The optional packages an example needs, named in one line when missing."""

import importlib
import sys


def need(module, extra):
    """Imports `module`, or ends the example with one line saying which
    package it needs and which extra of quarnel installs it (exit status 1)."""
    try:
        return importlib.import_module(module)
    except ModuleNotFoundError as e:
        missing = e.name or module
        if missing != module.split(".")[0]:
            raise  # the package is there but broken: its own traceback says more
        sys.exit(f"this example needs {missing}: pip install quarnel[{extra}]")
