import ctypes
import functools
import importlib.util
import os
import pickle
import subprocess
import sys
import threading
import time
from pathlib import Path

import pytest

# Under AddressSanitizer freed memory is quarantined, so resident-memory
# checks say nothing there.
UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")
# tracemalloc keeps some of its own bookkeeping after stop(), which the
# leak check at the end of the sanitizer run reports; a stripped
# interpreter (Debian's) gives those blocks no function or file name to
# suppress them by (tests/lsan.supp). So tracemalloc stays off there.
TRACEMALLOC_UNDER_ASAN = "tracemalloc's leftovers after stop() would fail the leak check"
# ThreadSanitizer's runtime is linked into the interpreter program of
# scripts/tsan.sh; everything runs several times slower there.
UNDER_TSAN = hasattr(ctypes.CDLL(None), "__tsan_init")
# An interpreter run under qemu's user-mode emulation (the aarch64 wheel
# checks, whose launchers set QUARNEL_EMULATED): many times slower again.
UNDER_EMULATION = bool(os.environ.get("QUARNEL_EMULATED"))


def pytest_collection_modifyitems(config, items):
    skip = pytest.mark.skip(reason="resident memory is meaningless under AddressSanitizer")
    for item in items:
        if UNDER_ASAN and "memory" in item.keywords:
            item.add_marker(skip)


def pytest_configure(config):
    config.addinivalue_line("markers", "memory: checks resident memory (skipped under AddressSanitizer)")
    if os.environ.get("QUARNEL_TEST_INSTALLED") == "1":
        # scripts/wheel_check.sh: the suite must exercise the installed wheel,
        # not a build tree that happens to be importable.
        import sysconfig

        import quarnel

        site = sysconfig.get_paths()["platlib"]
        assert os.path.commonpath([quarnel.__file__, site]) == site, (
            f"testing {quarnel.__file__}, not the package installed in {site}")


def icu_child(args, data=None):
    """icu_reference.py's answer to `args` and the pickled `data`, from a
    child process: importing PyICU leaves objects that LeakSanitizer
    reports in the sanitizer run."""
    env = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "PYTHONMALLOC")}
    done = subprocess.run([sys.executable, str(Path(__file__).with_name("icu_reference.py")), *args],
                          input=pickle.dumps(data), capture_output=True, env=env, check=True)
    return pickle.loads(done.stdout)


@functools.cache
def icu_unassigned():
    """The code points that ICU, the library the module is built against,
    has not assigned: ICU's own categories through PyICU (the same ICU in
    a development environment). Without PyICU (an installed wheel, which
    carries an ICU of its own), those that ICUWordPreTokenizer's cleaning
    deletes: ICU's unassigned code points, and controls, which have no
    case and no boundaries to compare."""
    if importlib.util.find_spec("icu"):
        return icu_child(["unassigned"])
    import quarnel

    tok, deleted = quarnel.ICUWordPreTokenizer(), set()
    for start in range(0, sys.maxunicode + 1, 0x10000):
        cps = [cp for cp in range(start, start + 0x10000) if not 0xD800 <= cp < 0xE000]
        got = tok.batch_tokenize([f"a{chr(cp)}a" for cp in cps], lowercase=False)
        deleted.update(cp for cp, tokens in zip(cps, got) if tokens == ["aa"])
    return frozenset(deleted)


def ticks_during(work, warm_up=None):
    """How often a second Python thread ticked (about once a millisecond)
    while `work()` ran: well above zero only if the interpreter lock was
    released meanwhile. `warm_up()` runs first, ticking already."""
    ticks, stop = [], threading.Event()

    def ticker():
        while not stop.is_set():
            ticks.append(1)
            time.sleep(0.001)

    t = threading.Thread(target=ticker)
    t.start()
    try:
        if warm_up:
            warm_up()
        before = len(ticks)
        work()
        return len(ticks) - before
    finally:
        stop.set()
        t.join()


def in_threads(count, work):
    """Runs work(i) for i in range(count), each on a thread of its own, all
    at once, and waits for them."""
    threads = [threading.Thread(target=work, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()



def pytest_sessionfinish(session, exitstatus):
    # Under scripts/sanitize.sh: look for leaks while the interpreter is still
    # whole, so that everything it holds is reachable and only memory that
    # nothing points to any more (a native block, a lost str) is reported.
    if os.environ.get("QUARNEL_LEAK_CHECK") != "1":
        return
    import ctypes
    import gc

    gc.collect()
    if ctypes.CDLL(None).__lsan_do_recoverable_leak_check():
        session.exitstatus = pytest.ExitCode.TESTS_FAILED
        print("\nLeakSanitizer found leaks (report above)")
