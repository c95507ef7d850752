"""The module under stress: leaks, Ctrl-C, fork, threads and CPU affinity,
interpreter exit, work that grows with the input, memory limits and
signal handlers that call back in."""

import gc
import os
import resource
import shutil
import signal
import subprocess
import sys
import textwrap
import threading
import time

import pytest

import vantor

PAGE = os.sysconf("SC_PAGE_SIZE")
# Set by tools/test.sh for the run against the sanitized build, which is too
# slow for timings and maps more address space than any limit allows.
SANITIZED = os.environ.get("VANTOR_SANITIZED") == "1"


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * PAGE


def run_many(call, times):
    for _ in range(times):
        try:
            call()
        except (ValueError, TypeError, OverflowError):
            pass


def assert_no_leak(call, times, args=()):
    """Runs `call` `times` times (after a warm-up) and checks that memory, the
    number of live objects and the reference counts of `args` stay put. Under
    the sanitizers, which hold freed memory back and find leaks themselves,
    memory is not compared and fewer calls suffice."""
    if SANITIZED:
        times //= 20
    run_many(call, max(times // 10, 10))
    gc.collect()
    counts = [sys.getrefcount(a) for a in args]
    objects = len(gc.get_objects())
    rss = resident_bytes()
    run_many(call, times)
    gc.collect()
    assert [sys.getrefcount(a) for a in args] == counts
    assert len(gc.get_objects()) - objects < 50
    assert SANITIZED or resident_bytes() - rss < 3 * 2**20


HANDS = ["AhKh", "QsQd"]
MASKS = [[[1 << 51, 1 << 47]], [[1 << 50, 1 << 46]]]
BOARD = [1 << 0, 1 << 5, 1 << 10]
ALL = vantor.full_deck()

CHEAP = {
    "card_index": lambda: vantor.card_index("As"),
    "card_index error": lambda: vantor.card_index("AsKs"),
    "card_name": lambda: vantor.card_name(7),
    "card_name error": lambda: vantor.card_name(52),
    "card_name overflow": lambda: vantor.card_name(300),
    "full_deck": vantor.full_deck,
    "default_thread_count": vantor.default_thread_count,
    "parse_hand_field": lambda: vantor.parse_hand_field("AhKh,QQ", 2),
    "parse_hand_field error": lambda: vantor.parse_hand_field("AhKx", 2),
    "parse_dead_cards": lambda: vantor.parse_dead_cards("2c 3d"),
    "parse_dead_cards error": lambda: vantor.parse_dead_cards("AA"),
    "score_batch": lambda: vantor.score_batch("high", ["AhKhQhJhTh", "2c3d4h5s7c"]),
    "score_batch error": lambda: vantor.score_batch("HIGH", ["AhKhQhJhTh"]),
    "chunk type error": lambda: vantor.chunk_from_text("holdem", HANDS, seed=None),
    "exact type error": lambda: vantor.exact("holdem", "AhKh", BOARD, 0),
    "unknown key": lambda: vantor.exact_from_text("HOLDEM", HANDS),
}

EQUITY = {
    "chunk_from_text": lambda: vantor.chunk_from_text("holdem", HANDS, "Kd 7c", samples=20, seed=3),
    "chunk_from_text hi/lo": lambda: vantor.chunk_from_text(
        "omaha_hi_lo", ["AhKh2c3d", "QsQdJhTh"], samples=20),
    "chunk_from_text notation error": lambda: vantor.chunk_from_text("holdem", ["AhKh", "QsQx"]),
    "chunk_from_text one seat": lambda: vantor.chunk_from_text("holdem", ["AhKh"]),
    "chunk": lambda: vantor.chunk("holdem", MASKS, BOARD, 0, 20, 1, 2),
    "chunk duplicate": lambda: vantor.chunk("holdem", [MASKS[0], MASKS[0]], BOARD, 0, 20),
    "chunk overflow": lambda: vantor.chunk("holdem", [[[1, -1]], [[2, 4]]], BOARD, 0, 20),
    "exact_from_text": lambda: vantor.exact_from_text("holdem", HANDS, "Kd 7c 2h 3s"),
    "exact_from_text declined": lambda: vantor.exact_from_text("holdem", ["**", "**", "**"]),
    "exact": lambda: vantor.exact("holdem", MASKS, BOARD + [1 << 20, 1 << 25], 0),
    "exact declined": lambda: vantor.exact("holdem", [[[ALL, ALL]]] * 3, [], 0),
    "exact error": lambda: vantor.exact("holdem", MASKS, [1 << 51], 0),
}


@pytest.mark.parametrize("name", CHEAP)
def test_cheap_calls_do_not_leak(name):
    assert_no_leak(CHEAP[name], 100_000 if "variants" not in name else 10_000, (HANDS, BOARD))


def test_game_list_does_not_leak():
    assert_no_leak(vantor.variants, 20_000)


@pytest.mark.parametrize("name", EQUITY)
def test_equity_calls_do_not_leak(name):
    assert_no_leak(EQUITY[name], 3_000, (HANDS, MASKS, BOARD))


def run_child(source, timeout=60):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(source)], capture_output=True,
                          text=True, timeout=timeout, env=dict(os.environ))


@pytest.mark.parametrize(
    "call",
    [
        # Each would run for far longer than the test allows.
        "vantor.exact_from_text('omaha', ['AhKhQsJs', '2c2d3c*'])",
        "vantor.chunk_from_text('holdem', ['AhKh', 'QsQd'], samples=10**15)",
        "vantor.chunk('holdem', [[[1 << 51, 1 << 47]], [[1 << 50, 1 << 46]]], [], 0, 10**15, 0, 10**12)",
    ],
)
def test_ctrl_c_interrupts_a_long_call(call):
    child = subprocess.Popen(
        [sys.executable, "-c", textwrap.dedent(f"""
            import sys, time, vantor
            print("ready", flush=True)
            try:
                {call}
                print("finished")
            except KeyboardInterrupt:
                print("interrupted", flush=True)
            r = vantor.exact_from_text("holdem", ["AhKh", "QsQd"], "Kd 7c 2h")
            print("after", r["samples"], flush=True)
            {call}
        """)],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "ready\n"
        time.sleep(0.5)
        child.send_signal(signal.SIGINT)
        assert child.stdout.readline() == "interrupted\n"
        assert child.stdout.readline() == "after 990\n"
        time.sleep(0.5)
        child.send_signal(signal.SIGINT)  # this time nothing catches it
        _, err = child.communicate(timeout=20)
        assert "KeyboardInterrupt" in err
        assert child.returncode != 0
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()


def wait_for(pid, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            return status
        time.sleep(0.02)
    os.kill(pid, signal.SIGKILL)
    os.waitpid(pid, 0)
    pytest.fail("the forked child hung")


# The sanitizer runtime used here takes no allocator lock around fork, so a child forked
# while another thread allocates can hang in its first allocation.
@pytest.mark.skipif(SANITIZED, reason="the sanitizer's allocator is not fork-safe with threads")
def test_forked_child_runs_batches():
    expected = vantor.chunk_from_text("holdem", HANDS, samples=4000, seed=9, threads=3)
    # A batch still running in another thread while the process forks.
    background = threading.Thread(
        target=vantor.chunk_from_text, args=("holdem", HANDS), kwargs={"samples": 400_000})
    background.start()
    time.sleep(0.05)
    pid = os.fork()
    if pid == 0:
        code = 1
        try:
            if vantor.chunk_from_text("holdem", HANDS, samples=4000, seed=9, threads=3) == expected:
                code = 0
        finally:
            os._exit(code)
    status = wait_for(pid, 30)
    background.join()
    assert os.waitstatus_to_exitcode(status) == 0


def test_multiprocessing_fork_workers():
    result = run_child("""
        import multiprocessing, vantor
        def work(seed):
            return vantor.chunk_from_text("holdem", ["AhKh", "QsQd"], samples=2000, seed=seed)
        if __name__ == "__main__":
            here = [work(s) for s in range(4)]
            with multiprocessing.get_context("fork").Pool(2) as pool:
                there = pool.map(work, range(4))
            print(here == there)
    """, timeout=60)
    assert result.stdout.strip() == "True", result.stderr


def test_threads_get_serial_answers():
    spots = [
        ("holdem", ["AhKh", "QsQd"], "", 3000 + i, i) for i in range(6)
    ] + [("omaha_hi_lo", ["AhKh2c3d", "****"], "Kd 7c 5s", 2000, 7), ("stud", ["AhAd5c", "KsKd9h"], "", 2000, 8)]
    serial = [vantor.chunk_from_text(k, h, b, samples=n, seed=s) for k, h, b, n, s in spots]
    answers = {}

    def work(t):
        answers[t] = [vantor.chunk_from_text(k, h, b, samples=n, seed=s) for k, h, b, n, s in spots]

    threads = [threading.Thread(target=work, args=(t,)) for t in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(answers[t] == serial for t in range(4))


@pytest.mark.skipif(shutil.which("taskset") is None, reason="needs taskset")
def test_answers_do_not_depend_on_cpus():
    source = """
        import vantor
        print(repr(vantor.chunk_from_text("omaha_hi_lo", ["AhKh2c3d", "QsQdJhTh"], "Kd 7c",
                                          samples=30000, seed=21, threads=4)))
    """
    here = vantor.chunk_from_text("omaha_hi_lo", ["AhKh2c3d", "QsQdJhTh"], "Kd 7c",
                                  samples=30000, seed=21, threads=4)
    for cpus in ("0", "0,1"):
        child = subprocess.run(["taskset", "-c", cpus, sys.executable, "-c", textwrap.dedent(source)],
                               capture_output=True, text=True, timeout=60)
        assert child.returncode == 0, child.stderr
        assert eval(child.stdout) == here


def test_daemon_threads_end_quietly_when_the_interpreter_exits():
    # Calls keep returning while a finalizer runs (without the lock) during
    # finalization; each such thread must stop without ending the process.
    result = run_child("""
        import threading, time, vantor
        calls = [
            lambda: vantor.chunk_from_text("holdem", ["AhKh", "QsQd"], samples=50_000),
            lambda: vantor.exact("holdem", [[[1 << 51, 1 << 47]], [[1 << 50, 1 << 46]]], [1, 2], 0),
            lambda: vantor.score_batch("high", ["AhKhQhJhTh9h8h"] * 50_000),
        ]
        def work(call):
            while True:
                call()
        for call in calls:
            threading.Thread(target=work, args=(call,), daemon=True).start()
        time.sleep(0.3)
        class Slow:
            def __del__(self):
                time.sleep(0.5)
        a, b = Slow(), Slow()
        a.b, b.a = b, a
        del a, b  # collected while the interpreter finalizes
        print("leaving", flush=True)
        raise SystemExit(7)
    """)
    assert result.returncode == 7, result.stderr
    assert result.stdout == "leaving\n" and "terminate" not in result.stderr


@pytest.mark.skipif(SANITIZED, reason="timings")
def test_many_alternatives_cost_time_in_proportion():
    def cpu_seconds(call):  # of every thread, so other processes' load hardly matters
        best = float("inf")
        for _ in range(3):
            start = time.process_time()
            call()
            best = min(best, time.process_time() - start)
        return best

    # 39,000 and 156,000 alternatives: two doublings cost about 4 times as much,
    # where a setup quadratic in them cost 16 times.
    field, larger = ", ".join(["22+"] * 500), ", ".join(["22+"] * 2000)
    for run in (lambda f: vantor.exact_from_text("holdem", [f, "AhKh"], "2c3d4h5s6c"),
                lambda f: vantor.chunk_from_text("holdem", [f, "AhKh"], samples=1000)):
        small, large = cpu_seconds(lambda: run(field)), cpu_seconds(lambda: run(larger))
        assert large < 8 * small, (small, large)


@pytest.mark.skipif(SANITIZED, reason="timings")
@pytest.mark.parametrize("call", [
    "vantor.chunk_from_text('omaha', [field, 'AsKsQsJs'], samples=1)",
    "vantor.exact_from_text('omaha', [field, 'AsKsQsJs'], '2c 3c 4c 5c 6c')",
])
def test_ctrl_c_during_a_long_setup_is_prompt(call):
    # 194,580 distinct holdings: a long setup, repeated so that a fast machine
    # cannot finish before the signal arrives.
    child = subprocess.Popen([sys.executable, "-c", textwrap.dedent(f"""
        import itertools, time, vantor
        cards = [r + s for r in "23456789TJQKA" for s in "cdhs"][:48]
        field = ",".join("".join(c) for c in itertools.combinations(cards, 4))
        print("ready", flush=True)
        try:
            while True:
                {call}
        except KeyboardInterrupt:
            print(time.monotonic(), flush=True)
    """)], stdout=subprocess.PIPE, text=True)
    try:
        assert child.stdout.readline() == "ready\n"
        time.sleep(0.25)
        sent = time.monotonic()  # the same clock in every process
        child.send_signal(signal.SIGINT)
        caught = float(child.stdout.readline())
        assert caught - sent < 0.1
    finally:
        child.kill()
        child.wait()


@pytest.mark.skipif(SANITIZED, reason="the sanitizers map far more address space than this")
def test_a_few_bytes_of_text_cannot_demand_gigabytes():
    result = run_child("""
        import resource
        resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))
        import itertools, vantor
        print(vantor.exact_from_text("omaha_six", [", ".join(["c*****"] * 8), "AhKhQhJhTh9h"]))
        for n in (1000, 20000):
            r = vantor.chunk_from_text("omaha_six", [", ".join(["cdhsc*"] * n), "AhKhQhJhTh9h"],
                                       samples=2000)
            print(r["samples"])
        # Distinct alternatives, each listing 100,000 card sets or more.
        alternatives = ["".join(p) + r + "*" for p in itertools.permutations("cdhs") for r in "AKQJT98"]
        r = vantor.chunk_from_text("omaha_six", [", ".join(alternatives), "AhKhQhJhTh9h"], samples=2000)
        print(r["samples"])
    """)
    assert result.stdout.split() == ["None", "2000", "2000", "2000"], result.stderr


@pytest.mark.skipif(SANITIZED, reason="sanitized frames are larger")
def test_signal_handlers_calling_in_end_in_recursion_error():
    # A small stack, so that a few hundred nested calls would overflow it if
    # they did not count against the recursion limit.
    def small_stack():
        resource.setrlimit(resource.RLIMIT_STACK, (1 << 20, resource.getrlimit(resource.RLIMIT_STACK)[1]))

    child = subprocess.run([sys.executable, "-c", textwrap.dedent("""
        import signal, sys, vantor
        sys.setrecursionlimit(200)
        failed = False
        def handler(*_):
            global failed
            if failed:  # a signal still pending while the error unwinds
                return
            try:
                vantor.chunk_from_text("holdem", ["AhKh", "QsQd"], samples=10**12)
            except RecursionError:
                failed = True
                raise
        signal.signal(signal.SIGALRM, handler)
        signal.setitimer(signal.ITIMER_REAL, 0.001, 0.001)
        try:
            handler()
        except RecursionError:
            print("RecursionError")
        signal.setitimer(signal.ITIMER_REAL, 0)
    """)], capture_output=True, text=True, timeout=120, preexec_fn=small_stack)
    assert child.returncode == 0 and child.stdout == "RecursionError\n", child.stderr[-2000:]
