"""The shared worker pool under load from several Python threads."""
import os
import subprocess
import sys
import textwrap


def test_many_small_batches_do_not_hang():
    # Small, nested batches started over and over from two Python threads:
    # a lost wake-up in the pool would hang here, so it runs under a timeout.
    code = textwrap.dedent("""
        import threading
        from quarnel import QAAnnotator, RegexTokenizer
        tok = RegexTokenizer()
        qa = QAAnnotator({"d%d" % i: ["a", "b", str(i)] for i in range(50)})
        docids = {"q%d" % i: ["d%d" % j for j in range(i % 7)] for i in range(9)}
        answers = {q: ["b 3", "x"] for q in docids}
        want = qa.annotate_non_optim(docids, answers)
        def work():
            for i in range(1500):
                assert qa.annotate(docids, answers) == want
                assert tok.batch_tokenize(["a b"] * (i % 5)) == [["a", "b"]] * (i % 5)
        threads = [threading.Thread(target=work) for _ in range(2)]
        for t in threads: t.start()
        for t in threads: t.join()
        print("ok")
    """)
    for threads in ("1", "2", "4"):
        env = dict(os.environ, RAYON_NUM_THREADS=threads)
        out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=120, env=env)
        assert out.stdout.strip() == "ok", (threads, out.stderr)
