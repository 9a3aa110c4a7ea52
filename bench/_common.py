"""Shared pieces of the benchmarks in bench/: the pure-Python tokenizer,
word lists, timing, the native benchmark executables and small helpers.

Not a benchmark itself; the scripts next to it import it.
"""

from __future__ import annotations

import gc
import json
import os
import shutil
import statistics
import subprocess
import sys
import time
import unicodedata
from pathlib import Path
from typing import Callable, Optional

import regex

ROOT = Path(__file__).resolve().parent.parent

# The tokenizer's default pattern, for the pure-Python way of doing its job.
PATTERN = r"(?im)([\p{L}\p{N}\p{M}]+)|([^\p{Z}\p{C}])"
PY_PATTERN = regex.compile(PATTERN)


def py_tokenize(text: str, _finditer=PY_PATTERN.finditer, _normalize=unicodedata.normalize) -> list:
    """What RegexTokenizer().tokenize(text) does, in pure Python."""
    return [m.group(0).lower() for m in _finditer(_normalize("NFD", text))]


# Common English words, roughly from most to least frequent; the Zipf-like
# draws give the first ones the highest weight.
ENGLISH_WORDS = """
the of and to a in is it you that he was for on are with as i his they be at one
have this from or had by not word but what some we can out other were all there
when up use your how said an each she which do their time if will way about many
then them write would like so these her long make thing see him two has look more
day could go come did number sound no most people my over know water than call
first who may down side been now find any new work part take get place made live
where after back little only round man year came show every good me give our under
name very through just form sentence great think say help low line differ turn
cause much mean before move right boy old too same tell does set three want air well
also play small end put home read hand port large spell add even land here must big
high such follow act why ask men change went light kind off need house picture try
us again animal point mother world near build self earth father head stand own page
should country found answer school grow study still learn plant cover food sun four
between state keep eye never last let thought city tree cross farm hard start might
story saw far sea draw left late run don't while press close night real life few north
open seem together next white children begin got walk example ease paper group always
music those both mark often letter until mile river car feet care second book carry
took science eat room friend began idea fish mountain stop once base hear horse cut
sure watch color face wood main enough plain girl usual young ready above ever red
list though feel talk bird soon body dog family direct pose leave song measure door
product black short numeral class wind question happen complete ship area half rock
order fire south problem piece told knew pass since top whole king space heard best
hour better true during hundred five remember step early hold west ground interest
reach fast verb sing listen six table travel less morning ten simple several vowel
toward war lay against pattern slow center love person money serve appear road map
rain rule govern pull cold notice voice unit power town fine certain fly fall lead
cry dark machine note wait plan figure star box noun field rest correct able pound
done beauty drive stood contain front teach week final gave green oh quick develop
ocean warm free minute strong special mind behind clear tail produce fact street inch
multiply nothing course stay wheel full force blue object decide surface deep moon
island foot system busy test record boat common gold possible plane stead dry wonder
laugh thousand ago ran check game shape equate hot miss brought heat snow tire bring
yes distant fill east paint language among it's isn't we're they're can't won't
""".split()

NAMES = """
John Mary London Paris Smith Alice Robert Europe Africa America China Einstein
Newton Darwin Shakespeare Thames Amazon Mozart Berlin Tokyo Sarah David Emma
""".split()


def zipf_cum_weights(n: int, s: float = 1.0, q: float = 2.7) -> list:
    """Cumulative Zipf-Mandelbrot weights 1/(rank+q)^s for ranks 1..n."""
    total = 0.0
    out = []
    for rank in range(1, n + 1):
        total += 1.0 / (rank + q) ** s
        out.append(total)
    return out


# ---------------------------------------------------------------- timing

class Load:
    """Measures, around a timed region, how many CPUs other processes kept
    busy meanwhile (system-wide busy time from /proc/stat minus this
    process's own and its waited-for children's CPU time). Every
    measurement is kept in LOAD_LOG for the summary."""

    HZ = os.sysconf("SC_CLK_TCK")
    MIN_WALL = 0.3

    @staticmethod
    def _busy() -> Optional[float]:
        try:
            with open("/proc/stat") as f:
                v = [int(x) for x in f.readline().split()[1:9]]
        except (OSError, ValueError):
            return None
        return (sum(v) - v[3] - v[4]) / Load.HZ  # all but idle and iowait

    @staticmethod
    def _own() -> float:
        t = os.times()
        return t.user + t.system + t.children_user + t.children_system

    def __enter__(self):
        self.busy0, self.own0, self.t0 = self._busy(), self._own(), time.perf_counter()
        return self

    def __exit__(self, *exc):
        wall = time.perf_counter() - self.t0
        busy1, own1 = self._busy(), self._own()
        self.others = None
        # /proc/stat counts in clock ticks (10 ms): shorter regions would
        # show mostly rounding.
        if self.busy0 is not None and busy1 is not None and wall >= self.MIN_WALL:
            self.others = max(0.0, (busy1 - self.busy0) - (own1 - self.own0)) / wall
            LOAD_LOG.append((wall, self.others))
        return False


LOAD_LOG: list = []
QUIET = 0.25  # CPUs used by other processes below which a run counts as quiet


def background_note(python_side: Optional[float], native_side: Optional[float]) -> str:
    """How far a split of Python-visible time into native and other parts,
    measured in separate runs, can be trusted."""
    def f(x):
        return "?" if x is None else f"{x:.2f}"
    if python_side is None or native_side is None:
        verdict = "runs too short to tell the background load; the split is rough"
    elif max(python_side, native_side) < QUIET:
        verdict = "both quiet"
    else:
        verdict = "the split is rough"
    return (f"(other processes used {f(python_side)} CPUs during the best Python-visible run, {f(native_side)} "
            f"during the native one: {verdict})")


def load_summary() -> str:
    """Average number of CPUs other processes used during the timed runs."""
    if not LOAD_LOG:
        return f"background load not measured (no timed region of {Load.MIN_WALL} s or more)"
    wall = sum(w for w, _ in LOAD_LOG)
    mean = sum(w * o for w, o in LOAD_LOG) / wall
    busiest = f" (up to {min(max(o for _, o in LOAD_LOG), os.cpu_count()):.2f} in a run)"
    return f"other processes kept {mean:.2f} of {os.cpu_count()} CPUs busy on average during the timed runs{busiest}"


class Timed(tuple):
    """(best seconds, all times, result of the last run), and `others`: the
    CPUs other processes used during each run (None where unknown)."""

    def __new__(cls, times: list, result, others: list):
        self = super().__new__(cls, (min(times), times, result))
        self.others = others
        return self

    @property
    def best(self) -> float:
        return self[0]

    @property
    def best_others(self) -> Optional[float]:
        """Background load during the best run."""
        return self.others[self[1].index(self[0])]

    def note(self) -> str:
        o = self.best_others
        return "" if o is None else f"(others used {o:.2f} CPUs meanwhile)"


def interleaved(cases: list, verbose: bool = True, clock: Callable[[], float] = time.perf_counter) -> dict:
    """Times several calls in one interleaved schedule, so that a busy spell
    of the machine hits them alike. `cases` holds (name, fn, runs); each
    fn's runs are spread evenly over the schedule. Runs with the cyclic
    garbage collector off (as timeit does); a call's previous result is
    dropped before its next run, outside the timed region. `clock` may be
    time.thread_time for calls that do all their work on this thread: the
    time other processes take the CPU away then does not count. Returns
    {name: Timed}."""
    schedule = sorted(((k + 0.5) / runs, i) for i, (_, _, runs) in enumerate(cases) for k in range(runs))
    times: dict = {name: [] for name, _, _ in cases}
    others: dict = {name: [] for name, _, _ in cases}
    last: dict = {}
    for _, i in schedule:
        name, fn, runs = cases[i]
        last.pop(name, None)
        gc.collect()
        was_enabled = gc.isenabled()
        gc.disable()
        try:
            with Load() as load:
                t0 = clock()
                result = fn()
                t1 = clock()
        finally:
            if was_enabled:
                gc.enable()
        last[name] = result
        del result
        times[name].append(t1 - t0)
        others[name].append(load.others)
        if verbose:
            bg = "" if load.others is None else f"  (others used {load.others:.2f} CPUs)"
            progress(f"  {name}: run {len(times[name])}/{runs} {t1 - t0:.3f} s{bg}")
    return {name: Timed(times[name], last.get(name), others[name]) for name, _, _ in cases}


def best_of(fn: Callable[[], object], repeat: int, label: str = "", verbose: bool = True,
            clock: Callable[[], float] = time.perf_counter) -> Timed:
    """interleaved() for one call."""
    return interleaved([(label or "run", fn, repeat)], verbose=verbose and bool(label), clock=clock)[label or "run"]


_T0 = time.perf_counter()


def progress(msg: str) -> None:
    print(f"[{time.perf_counter() - _T0:7.1f}s] {msg}", file=sys.stderr, flush=True)


def fmt_s(seconds: float) -> str:
    if seconds >= 1.0:
        return f"{seconds:.3f} s"
    if seconds >= 1e-3:
        return f"{seconds * 1e3:.1f} ms"
    return f"{seconds * 1e6:.1f} us"


def ratio_line(label: str, ours: float, theirs: float, target: Optional[float] = None) -> str:
    """'label: N.NNx' where N = theirs / ours (how many times faster we are)."""
    r = theirs / ours if ours > 0 else float("inf")
    text = f"{label:<58} {r:8.2f}x"
    if target is not None:
        text += f"   (target >= {target:g}x: {'met' if r >= target else 'NOT met'})"
    return text


def load_quarnel():
    try:
        import quarnel  # noqa: F401
    except ImportError as e:
        sys.exit(
            f"cannot import quarnel ({e}).\n"
            "Run `bash scripts/setup.sh` and use .venv/bin/python, or build with cmake and set "
            "PYTHONPATH to the build directory."
        )
    return quarnel


def machine_note() -> str:
    try:
        load = os.getloadavg()
        load_text = f"load average {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}"
    except OSError:
        load_text = "load average unknown"
    return f"{os.cpu_count()} CPUs, {load_text}, Python {sys.version.split()[0]}"


def rss_bytes() -> int:
    """Resident memory of this process, from /proc/self/statm."""
    with open("/proc/self/statm") as f:
        resident_pages = int(f.read().split()[1])
    return resident_pages * os.sysconf("SC_PAGE_SIZE")


def malloc_trim() -> None:
    """Hands free heap memory back to the system (glibc), so that resident
    memory measured next reflects what is actually in use."""
    try:
        import ctypes

        ctypes.CDLL("libc.so.6").malloc_trim(0)
    except (OSError, AttributeError):
        pass


# ------------------------------------------------- native benchmark binaries

def _tool(name: str) -> Optional[str]:
    local = ROOT / ".venv" / "bin" / name
    if local.is_file() and os.access(local, os.X_OK):
        return str(local)
    return shutil.which(name)


def bench_build_dir() -> Path:
    """Where the native benchmarks are built: $QUARNEL_BENCH_BUILD (the test
    script points it at its own build) or build/bench."""
    return Path(os.environ.get("QUARNEL_BENCH_BUILD") or ROOT / "build" / "bench")


def _step(cmd: list, env: dict, what: str) -> bool:
    """Runs one configure or build command; on failure says so with the
    output's tail (an existing, possibly stale, executable is used then)."""
    r = subprocess.run(cmd, env=env, capture_output=True, text=True)
    if r.returncode != 0:
        progress(f"{what} failed; an existing executable, if any, is used (possibly stale):\n"
                 f"{(r.stdout + r.stderr)[-3000:]}")
    return r.returncode == 0


def native_binary(target: str, build_dir: Optional[str] = None, build: bool = True) -> Optional[Path]:
    """Path of the native benchmark executable `target`, configuring and
    (re)building it in build/bench (or `build_dir`) when possible. Returns
    None, after saying why, when it cannot be had."""
    bdir = Path(build_dir) if build_dir else bench_build_dir()
    exe = bdir / target
    if not build:
        if exe.is_file():
            return exe
        progress(f"native benchmark {exe} not found (and building was turned off)")
        return None
    cmake = _tool("cmake")
    if cmake is None:
        if exe.is_file():
            progress(f"no cmake found; using the existing {exe}")
            return exe
        progress("no cmake found: cannot build the native benchmark")
        return None
    env = dict(os.environ)
    cmd = [cmake, "-S", str(ROOT), "-B", str(bdir), "-DQUARNEL_BENCH=ON"]
    if not (bdir / "CMakeCache.txt").is_file():
        cmd += ["-DCMAKE_BUILD_TYPE=Release", "-DQUARNEL_PYTHON_MODULE=OFF"]
        ninja = _tool("ninja")
        if ninja:
            cmd += ["-G", "Ninja", f"-DCMAKE_MAKE_PROGRAM={ninja}"]
        progress(f"configuring {bdir} for the native benchmarks")
    if _step(cmd, env, f"configuring {bdir}"):
        progress(f"building {target} in {bdir} (incremental)")
        _step([cmake, "--build", str(bdir), "--target", target], env, f"building {target}")
    return exe if exe.is_file() else None


def run_native(exe: Path, args: list, threads: Optional[int], timeout: float = 1800) -> dict:
    """Runs a native benchmark with RAYON_NUM_THREADS=threads (inherited
    environment when None) and returns its JSON report."""
    env = dict(os.environ)
    if threads is not None:
        env["RAYON_NUM_THREADS"] = str(threads)
    with Load() as load:
        r = subprocess.run([str(exe), *map(str, args)], env=env, capture_output=True, text=True, timeout=timeout)
    if r.returncode != 0:
        raise RuntimeError(f"{exe.name} {' '.join(map(str, args))} failed ({r.returncode}): {r.stderr.strip()}")
    report = json.loads(r.stdout.strip().splitlines()[-1])
    report["others_cpus"] = load.others
    return report


def native_scaling(exe: Path, args: list, rounds: int) -> tuple:
    """Runs the benchmark with 1 and 2 workers, alternating, `rounds` times
    each (alternating spreads a busy machine's background load over both
    counts). When no round was quiet (other processes using less than
    QUIET CPUs during both of its runs, as far as can be told), up to
    `rounds` more are run until one is. Returns ({threads: report of its best run, plus the median of all its
    runs}, [(1-worker time / 2-worker time, quiet) of each round])."""
    best: dict = {}
    runs: dict = {1: [], 2: []}
    per_round = []
    r = 0
    while r < rounds or (r < 2 * rounds and not any(quiet for _, quiet in per_round)):
        r += 1
        times, quiet = {}, True
        for threads in (1, 2):
            report = run_native(exe, args, threads)
            others = report["others_cpus"]
            quiet = quiet and (others is None or others < QUIET)  # None: too short to tell
            bg = "" if others is None else f"  (others used {others:.2f} CPUs)"
            progress(f"  native, {threads} worker(s), round {r}: best {report['best_s']:.4f} s{bg}")
            times[threads] = report["best_s"]
            runs[threads].extend(report.get("runs_s", [report["best_s"]]))
            if threads not in best or report["best_s"] < best[threads]["best_s"]:
                best[threads] = report
        per_round.append((times[1] / times[2], quiet))
    # On a machine whose speed drifts, the best run of each count can come
    # from different moments; the medians of all runs are the steadier view.
    for threads in (1, 2):
        best[threads]["median_s"] = statistics.median(runs[threads])
        best[threads]["all_runs"] = len(runs[threads])
    return best, per_round


def rounds_text(per_round: list) -> str:
    return ", ".join(f"{ratio:.2f}x{'' if quiet else ' (busy)'}" for ratio, quiet in per_round)


def default_pool_threads(exe: Optional[Path]) -> Optional[int]:
    """Worker count the pool picks in this environment (as an imported
    module would), asked of the native benchmark."""
    if exe is None:
        return None
    try:
        return int(run_native(exe, ["--print-threads"], None)["threads"])
    except (RuntimeError, ValueError, KeyError, subprocess.SubprocessError):
        return None
