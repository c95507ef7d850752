"""The `vantor` command, run as a user runs it."""

import fcntl
import json
import os
import pty
import shutil
import signal
import struct
import subprocess
import sys
import sysconfig
import termios
import time

import pytest

import vantor


def command():
    for folder in (os.path.dirname(sys.executable), sysconfig.get_path("scripts"),
                   sysconfig.get_path("scripts", f"{os.name}_user")):
        path = os.path.join(folder, "vantor")
        if os.path.exists(path):
            return path
    return shutil.which("vantor") or pytest.fail("the vantor command is not installed")


def run(*args, **kwargs):
    done = subprocess.run([command(), *args], capture_output=True, text=True, timeout=120, **kwargs)
    assert "Traceback" not in done.stderr
    return done


def test_table():
    done = run("holdem", "AhKh", "QsQd", "--board", "Kd 7c 2h")
    assert done.returncode == 0 and done.stderr == ""
    header, heading, *rows = done.stdout.splitlines()
    assert header.startswith("Hold'em, board Kd 7c 2h: 990 deals, exact, ") and header.endswith(" deals/s")
    assert heading.split() == ["seat", "hand", "equity", "win", "tie"]
    exact = vantor.exact_from_text("holdem", ["AhKh", "QsQd"], "Kd 7c 2h")["players"]
    assert [row.split() for row in rows] == [
        [str(i + 1), hand, f"{p['equity']:.2%}", f"{p['win']:.2%}", f"{p['tie']:.2%}"]
        for i, (hand, p) in enumerate(zip(["AhKh", "QsQd"], exact))]


def test_json_and_games():
    done = run("omaha_hi_lo", "AhAd2c3d", "KsKh9s8h", "--board", "4c7dQs", "--samples", "5e3",
               "--seed", "3", "--threads", "2", "--json")
    assert json.loads(done.stdout) == vantor.chunk_from_text(
        "omaha_hi_lo", ["AhAd2c3d", "KsKh9s8h"], "4c7dQs", samples=5000, seed=3, threads=2)
    assert json.loads(run("games", "--json").stdout) == vantor.variants()
    rows = run("games").stdout.splitlines()
    assert len(rows) == 16 and rows[1].split()[0] == "holdem" and rows[-1].split()[-2:] == ["4", "0"]


def test_exact_and_target_error():
    done = run("holdem", "AhKh", "QsQd", "--exact", "--json")
    assert json.loads(done.stdout) == vantor.exact_from_text("holdem", ["AhKh", "QsQd"])
    done = run("holdem", "**", "**", "**", "--exact")
    assert done.returncode == 2 and done.stdout == ""
    assert done.stderr == "vantor: --exact: too many deals to walk; use --samples or --target-error\n"
    result = json.loads(run("razz", "A23", "KQJ", "--target-error", "0.002", "--json").stdout)
    assert not result["exact"] and max(p["std_error"] for p in result["players"]) <= 0.002
    capped = json.loads(run("razz", "A23", "KQJ", "--target-error", "1e-9", "--max-samples", "30000",
                            "--json").stdout)
    assert capped["samples"] == 30000


@pytest.mark.parametrize("args, stderr", [
    (["holdem", "AhKh", "QsQx"],
     "vantor: notation error in hand 2:\n  QsQx\n     ^\n  'x' is not a rank, a suit, or '*'\n"),
    (["holdem", "AhKh", "QsQd", "--board", "Kd 7c,2h"],
     "vantor: notation error in board:\n  Kd 7c,2h\n       ^\n  ',' is not a rank, a suit, or '*'\n"),
    (["holdem", "AhKh", "QsQd", "--board", "2c3c4c5c6c7c "],
     "vantor: notation error in board:\n  2c3c4c5c6c7c \n  ^^^^^^^^^^^^\n"
     "  at most 5 cards fit here, but 6 were written\n"),
    (["omaha", "AhKh", "****", "--dead", "2c *"],
     "vantor: notation error in hand 1:\n  AhKh\n  ^^^^\n  this game deals 4 cards, but 2 were written\n"),
    (["holdem", "AhKh", "QsQd", "--dead", "2c *"],
     "vantor: notation error in dead cards:\n  2c *\n     ^\n"
     "  a dead card must name one card, since every reading changes the answer\n"),
    (["holdem", "AhKh", "QsQd", "--dead", "Ah"], "vantor: Found duplicated card: Ah\n"),
    (["holdem", "AhKh"], "vantor: a spot needs at least two seats to have an answer\n"),
    (["Holdem", "AhKh", "QsQd"],
     "vantor: no game called \"Holdem\"; call variants() for the list\n(`vantor games` lists them)\n"),
    (["holdem", "AhKh", "QsQd", "--samples", "10", "--time-limit", "1"],
     "vantor: max_samples and time_limit only limit sampling to a target\n"),
    (["holdem", "AhKh", "QsQd", "--exact", "--samples", "10"], "not allowed with argument"),
    (["holdem", "AhKh", "QsQd", "--samples", "-1"], "argument --samples: '-1' is not a whole number"),
    (["holdem", "AhKh", "QsQd", "--target-error", "nan"], "'nan' is not a number greater than 0"),
    (["holdem"], "the following arguments are required: HAND"),
])
def test_user_errors(args, stderr):
    done = run(*args)
    assert done.returncode == 2 and done.stdout == ""
    assert done.stderr == stderr if stderr.startswith("vantor: ") else stderr in done.stderr


def test_ctrl_c_stops_at_once():
    process = subprocess.Popen([command(), "omaha_hi_lo", "****", "****", "****", "--target-error", "1e-7"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    time.sleep(1.5)
    sent = time.monotonic()
    process.send_signal(signal.SIGINT)
    out, err = process.communicate(timeout=60)
    assert process.returncode == 130 and time.monotonic() - sent < 5
    assert out == "" and err == "vantor: interrupted\n"


def on_terminal(*args, columns):
    """Runs the command with standard error on a terminal of `columns` columns (a bar
    draws nothing in zero columns); gives its exit status, its output and what the
    terminal showed."""
    main, terminal = pty.openpty()
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
    process = subprocess.Popen([command(), *args], stdout=subprocess.PIPE, stderr=terminal)
    os.close(terminal)
    out, _ = process.communicate(timeout=120)
    shown = b""
    while True:
        try:
            chunk = os.read(main, 65536)
        except OSError:  # the terminal closed with the process
            break
        if not chunk:
            break
        shown += chunk
    os.close(main)
    return process.returncode, out, shown


def test_progress_bar_only_on_a_terminal():
    assert run("razz", "A23", "KQJ", "--target-error", "0.002").stderr == ""
    status, out, shown = on_terminal("razz", "A23", "KQJ", "--target-error", "1e-9", "--time-limit", "1",
                                     columns=100)
    assert status == 0 and out.startswith(b"Razz: ")
    assert b"deals" in shown and b"worst std error" in shown
