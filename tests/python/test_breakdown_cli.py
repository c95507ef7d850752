"""`vantor ... --breakdown SEAT`, run as a user runs it."""

import json
import signal
import subprocess
import time

import pytest

from test_cli import command, run
from vantor_tools import breakdown

RANGE = ["holdem", "QQ+, AKs, AKo", "JJ"]


def test_grid_json_and_html(tmp_path):
    page = tmp_path / "grid.html"
    done = run(*RANGE, "--breakdown", "1", "--grid", "--seed", "5", "--threads", "2", "--html", str(page))
    assert done.returncode == 0 and done.stderr == ""
    header, total, ranks, *grid = done.stdout.splitlines()
    assert header.startswith("Hold'em, no board cards: seat 1 (QQ+, AKs, AKo) against JJ: 34 holdings, sampled")
    assert total.startswith("seat 1 equity ") and ranks.split() == list("AKQJT98765432")
    expected = breakdown("holdem", RANGE[1:], 0, seed=5, threads=2)
    assert grid[0].split() == ["A", f"{expected.grid['AA'].equity:.1%}"[:-1], f"{expected.grid['AKs'].equity:.1%}"[:-1]] + ["."] * 11
    assert len(grid) == 13 and grid[12].split() == ["2"] + ["."] * 13
    html = page.read_text()
    assert html.startswith("<!DOCTYPE html>") and html.count("<td title=") == 5 and html.count("<tr>") == 13 + 35

    done = run(*RANGE, "--breakdown", "2", "--board", "Jc 7d 2h", "--json")
    assert json.loads(done.stdout) == breakdown("holdem", RANGE[1:], 1, board="Jc 7d 2h").to_dict()
    table = run("razz", "As2d3c4h5s6d, Kh2c3c4d5d6d", "KhQhJdTc9s8c", "--breakdown", "1").stdout.splitlines()
    assert table[2].split() == ["holding", "weight", "equity", "win", "tie"]
    assert table[4].split()[:3] == ["Kh2c3c4d5d6d", "0.00%", "-"]


@pytest.mark.parametrize("args, stderr", [
    ([*RANGE, "--grid"], "vantor: --grid and --html show a breakdown; give --breakdown SEAT\n"),
    ([*RANGE, "--breakdown", "3"], "vantor: --breakdown: there is no seat 3; the seats are 1 to 2\n"),
    ([*RANGE, "--breakdown", "0"], "'0' is not a seat number (seats are numbered from 1)"),
    (["omaha", "AAKK", "****", "--breakdown", "1", "--grid"],
     "vantor: --grid: only the two-card games (holdem, short_deck) have a starting-hand grid\n"),
    ([*RANGE, "--breakdown", "1", "--samples", "100"],
     "vantor: --breakdown samples each holding to --target-error or --max-samples; "
     "--samples and --time-limit do not apply\n"),
    (["holdem", "AA, KK", "**", "**", "--breakdown", "1", "--exact"],
     "vantor: --exact: too many deals to walk a holding; use --target-error\n"),
    (["holdem", "AA, KK", "Qx", "--breakdown", "1"],
     "vantor: notation error in hand 2:\n  Qx\n   ^\n  'x' is not a rank, a suit, or '*'\n"),
])
def test_user_errors(args, stderr):
    done = run(*args)
    assert done.returncode == 2 and done.stdout == ""
    assert done.stderr == stderr if stderr.startswith("vantor: ") else stderr in done.stderr


def test_ctrl_c_prints_the_rows_done():
    process = subprocess.Popen([command(), "holdem", "22+", "AKs", "--breakdown", "1", "--target-error", "3e-4"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    time.sleep(2.5)
    process.send_signal(signal.SIGINT)
    out, err = process.communicate(timeout=60)
    assert process.returncode == 130 and err == "vantor: interrupted\n"
    header, total, heading, *rows = out.splitlines()
    assert total.endswith("over the holdings done so far (interrupted)")
    assert 0 < len(rows) < 78 and rows[0].split()[0] == "2c2d"
