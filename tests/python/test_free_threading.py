"""Python threads sharing instances and inputs, on free-threaded and GIL
interpreters alike: many threads call every entry of every class on shared
instances while other threads change the lists, dicts and sets they pass.
A call whose input nobody changes gives the single-threaded result; a call
whose input is being changed gives the result of the input as it was at
some moment (each list, dict or set is read at one moment of its own, so a
nested container may be read at another moment than its parent), and
never crashes. On a free-threaded interpreter importing the module keeps
the GIL off.

The stress runs in a child process: a crash there fails the test instead of
ending the session, and the child starts without modules (such as PyICU)
that would switch the GIL back on."""
import json
import os
import random
import subprocess
import sys
import sysconfig
import textwrap
import threading

import numpy as np
import pytest

import entry_points as ep
import quarnel
from conftest import UNDER_TSAN

HERE = os.path.dirname(os.path.abspath(__file__))
FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))


def canon(value):
    """A hashable form of a result in which dict order does not count."""
    if isinstance(value, dict):
        return ("dict", tuple(sorted((k, canon(v)) for k, v in value.items())))
    if isinstance(value, (list, tuple)):
        return ("list", tuple(canon(v) for v in value))
    return value


def outcome(call, *args):
    try:
        return ("ok", canon(call(*args)))
    except Exception as e:
        return (type(e).__name__, str(e))


class Case:
    """Calls of some entries on one input that threads change meanwhile.

    `make(*state)` builds the input in a given state of each of its
    containers (state 0 everywhere: the live input); `steps(live)` gives the
    changes of the live input, one container operation each (atomic on
    every interpreter), that cycle every container through exactly the
    states that `states` counts; `calls` maps an entry, ("Class", "entry"),
    to a function of the input. Without steps nobody changes the input, and
    each call must give exactly its single-threaded result."""

    def __init__(self, label, make, calls, states=(), steps=None):
        self.label, self.calls = label, calls
        self.live = make(*[0] * len(states))
        self.steps = steps(self.live) if steps else ()
        combos = [()]
        for n in states:
            combos = [c + (i,) for c in combos for i in range(n)]
        self.allowed = {entry: {outcome(call, make(*combo)) for combo in combos} for entry, call in calls.items()}


TEXTS = [f"Text {i}: \u00c9t\u00e9 \u039f\u0394\u039f\u03a3 caf\u00e9 {'word ' * (i % 5)}! \u4e2d\u6587" for i in range(40)]
CORPUS = {f"d{i}": f"doc {i} has tokens {i % 7} and paris france".split() for i in range(60)}


def cases():
    regex = quarnel.RegexTokenizer()
    icu = quarnel.ICUWordPreTokenizer({"the", "a"})
    qa = quarnel.QAAnnotator(CORPUS)
    conv = quarnel.Converter({i: f"t{i % 5}" for i in range(9)})
    rng = np.random.default_rng(5)
    reps = np.where(rng.random((16, 9)) < 0.4, rng.random((16, 9)), 0).astype(np.float32)
    reps16 = reps.astype(np.float16)

    def text_list(*state):
        texts = list(TEXTS)
        if state[0] == 1:
            texts.append("An appended text, here!")
        if state[0] == 2:
            texts[7] = "A replaced \u2603 item"
        return texts

    def text_steps(t):  # append, pop, replace an item, put it back
        return (lambda: t.append("An appended text, here!"), lambda: t.pop(),
                lambda: t.__setitem__(7, "A replaced \u2603 item"), lambda: t.__setitem__(7, TEXTS[7]))

    def stopwords(state):
        return {"the", "a", "cat"} if state else {"the", "a"}

    def corpus(outer, inner):
        c = {k: list(v) for k, v in CORPUS.items()}
        if outer == 1:
            c["dnew"] = ["new", "paris"]
        if outer == 2:
            c["d3"] = ["replaced", "document"]
        if inner:
            c["d1"].append("extra")
        return c

    def corpus_steps(c):
        d3, d1 = c["d3"], c["d1"]
        return (lambda: c.__setitem__("dnew", ["new", "paris"]), lambda: c.pop("dnew"),
                lambda: c.__setitem__("d3", ["replaced", "document"]), lambda: c.__setitem__("d3", d3),
                lambda: d1.append("extra"), lambda: d1.pop())

    def annotate_args(docids_outer, docids_inner, answers_outer):
        docids = {f"q{i}": [f"d{j}" for j in range(i, i + 9)] for i in range(12)}
        answers = {q: [f"tokens {int(q[1:]) % 7}", "Paris", "nothing here"] for q in docids}
        if docids_outer == 1:
            docids["qnew"] = ["d1", "d2"]
        if docids_outer == 2:
            docids["q4"] = ["d40", "d41"]
        if docids_inner:
            docids["q2"].append("d50")
        if answers_outer:
            answers["qnew"] = ["doc 2"]
        return docids, answers

    def annotate_steps(args):
        docids, answers = args
        q4, q2 = docids["q4"], docids["q2"]
        return (lambda: docids.__setitem__("qnew", ["d1", "d2"]), lambda: docids.pop("qnew"),
                lambda: docids.__setitem__("q4", ["d40", "d41"]), lambda: docids.__setitem__("q4", q4),
                lambda: q2.append("d50"), lambda: q2.pop(),
                lambda: answers.__setitem__("qnew", ["doc 2"]), lambda: answers.pop("qnew"))

    def vocab(state):
        v = {i: f"t{i % 5}" for i in range(8)}
        if state == 1:
            v[8] = "eight"
        if state == 2:
            v[3] = "three"
        return v

    vocab_reps = np.eye(3, 9, 6, dtype=np.float32) + np.eye(3, 9, 1, dtype=np.float32)

    def json_reps(outer, inner):
        rows = [{"a": 3, "b": 1}, {"c": 2}, {}, {"d\u00e9": 1, "e": 4}]
        if outer == 1:
            rows.append({"x": 2})
        if outer == 2:
            rows[1] = {"y": 5}
        if inner:
            rows[0]["z"] = 2
        return rows

    def json_steps(rows):
        first, second = rows[0], rows[1]
        return (lambda: rows.append({"x": 2}), lambda: rows.pop(),
                lambda: rows.__setitem__(1, {"y": 5}), lambda: rows.__setitem__(1, second),
                lambda: first.__setitem__("z", 2), lambda: first.pop("z"))

    matrix_calls = {
        ("Converter", name): (lambda name: lambda r: getattr(conv, name)(
            r[1] if name.endswith("_f16") else r[0], quantization_factor=50, convert_id_to_token=True))(name)
        for name in ep._MATRIX}

    return [
        Case("texts", lambda *s: text_list(*s), {
            ("RegexTokenizer", "batch_tokenize"): regex.batch_tokenize,
            ("RegexTokenizer", "__call__"): regex,
            ("ICUWordPreTokenizer", "batch_tokenize"): lambda t: icu.batch_tokenize(t, remove_stopwords=True),
            ("ICUWordPreTokenizer", "__call__"): icu,
        }, states=(3,), steps=text_steps),
        Case("one text", lambda: " ".join(TEXTS), {
            ("RegexTokenizer", "tokenize"): regex.tokenize,
            ("ICUWordPreTokenizer", "tokenize"): lambda t: icu.tokenize(t, lowercase=False),
            ("RegexTokenizer", "__new__"): lambda t: quarnel.RegexTokenizer(
                pattern=r"\w+|[^\w\s]", lowercase=False).tokenize(t),
        }),
        Case("stop words", stopwords, {
            ("ICUWordPreTokenizer", "__new__"): lambda s: quarnel.ICUWordPreTokenizer(s).tokenize(
                "The cat sat on a mat", remove_stopwords=True),
        }, states=(2,), steps=lambda s: (lambda: s.add("cat"), lambda: s.discard("cat"))),
        Case("corpus", corpus, {
            ("QAAnnotator", "__new__"): lambda c: quarnel.QAAnnotator(c).annotate(
                {"q": ["d1", "d3", "dnew"]}, {"q": ["paris", "extra", "document"]}),
        }, states=(3, 2), steps=corpus_steps),
        Case("annotate", lambda *s: annotate_args(*s), {
            ("QAAnnotator", "annotate"): lambda a: qa.annotate(*a),
            ("QAAnnotator", "annotate_non_optim"): lambda a: qa.annotate_non_optim(*a),
        }, states=(3, 2, 2), steps=annotate_steps),
        Case("vocab", vocab, {
            ("Converter", "__new__"): lambda v: quarnel.Converter(v).convert_sparse_reps_to_json(
                vocab_reps, convert_id_to_token=True),
        }, states=(3,), steps=lambda v: (lambda: v.__setitem__(8, "eight"), lambda: v.pop(8),
                                         lambda: v.__setitem__(3, "three"), lambda: v.__setitem__(3, "t3"))),
        Case("json reps", json_reps, {
            ("Converter", "convert_json_reps_to_pseudo_text"): conv.convert_json_reps_to_pseudo_text,
        }, states=(3, 2), steps=json_steps),
        Case("matrices", lambda: (reps, reps16), matrix_calls),
    ]


def stress(callers, mutators, rounds, seed=0):
    """Runs every case's calls on `callers` threads while `mutators` threads
    change the inputs (each input changed by one of them); returns a report."""
    all_cases = cases()
    covered = sorted({entry for case in all_cases for entry in case.calls})
    jobs = [(case, entry, call) for case in all_cases for entry, call in case.calls.items()]
    changing = [case for case in all_cases if case.steps]
    mismatches, done, calls = [], threading.Event(), [0]
    lock = threading.Lock()
    start = threading.Barrier(callers + mutators)

    def call_all(k):
        order = jobs * rounds
        random.Random(seed + k).shuffle(order)
        start.wait()
        for case, entry, call in order:
            got = outcome(call, case.live)
            with lock:
                calls[0] += 1
                if got not in case.allowed[entry]:
                    mismatches.append([case.label, "%s.%s" % entry, repr(got)[:300]])

    def change(k):
        mine = changing[k::mutators]
        start.wait()
        while not done.is_set():
            for case in mine:
                for step in case.steps:
                    step()

    threads = [threading.Thread(target=call_all, args=(k,)) for k in range(callers)]
    changers = [threading.Thread(target=change, args=(k,)) for k in range(mutators)]
    for t in threads + changers:
        t.start()
    for t in threads:
        t.join()
    done.set()
    for t in changers:
        t.join()
    return {"covered": covered, "calls": calls[0], "jobs": len(jobs), "mismatches": mismatches[:10],
            "gil_enabled": sys._is_gil_enabled() if hasattr(sys, "_is_gil_enabled") else True}


CHILD = textwrap.dedent("""
    import json, sys
    import test_free_threading as t
    print(json.dumps(t.stress(callers=4, mutators=2, rounds=ROUNDS)))
""")


def test_threads_share_instances_while_inputs_change():
    rounds = 3 if UNDER_TSAN else 25
    env = {k: v for k, v in os.environ.items() if k != "PYTHON_GIL"}
    out = subprocess.run([sys.executable, "-c", CHILD.replace("ROUNDS", str(rounds))], capture_output=True,
                         text=True, timeout=900, cwd=HERE, env=env)
    assert out.returncode == 0, out.stderr[-4000:]
    report = json.loads(out.stdout.strip().splitlines()[-1])
    assert report["mismatches"] == []
    assert report["calls"] == 4 * rounds * report["jobs"]
    # Every entry of every class is called.
    every = sorted([cls, entry.name] for cls, entries in ep.ENTRY_POINTS.items() for entry in entries)
    assert report["covered"] == every
    if FREE_THREADED:
        assert not report["gil_enabled"], "the GIL was on: the threads never ran at once"


@pytest.mark.skipif(not FREE_THREADED, reason="needs a free-threaded CPython")
def test_import_keeps_the_gil_disabled():
    env = {k: v for k, v in os.environ.items() if k != "PYTHON_GIL"}
    out = subprocess.run([sys.executable, "-W", "error", "-c", "import sys, quarnel; print(sys._is_gil_enabled())"],
                         capture_output=True, text=True, timeout=120, env=env)
    assert (out.returncode, out.stdout.strip(), out.stderr) == (0, "False", "")
