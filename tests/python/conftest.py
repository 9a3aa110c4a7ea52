import os

import pytest

# Under AddressSanitizer freed memory is quarantined, so resident-memory
# checks say nothing there.
UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")


def pytest_collection_modifyitems(config, items):
    skip = pytest.mark.skip(reason="resident memory is meaningless under AddressSanitizer")
    for item in items:
        if UNDER_ASAN and "memory" in item.keywords:
            item.add_marker(skip)


def pytest_configure(config):
    config.addinivalue_line("markers", "memory: checks resident memory")
