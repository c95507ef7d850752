"""Every Python example of the guide (docs/*.md) runs here.

A page's ```python blocks are executed and its ```pycon blocks checked as
doctests, in page order and in one namespace per page, so a later example may
use what an earlier one defined. Blocks of shell commands or plain text are
marked console or text; a fence with any other label, or none, fails, so no
example can slip past unrun.
"""

import doctest
import pathlib
import re

import pytest

DOCS = pathlib.Path(__file__).resolve().parents[2] / "docs"
PAGES = sorted(DOCS.glob("*.md"))
FENCE = re.compile(r"^```([^\n`]*)\n(.*?)^```[ \t]*$", re.M | re.S)
SHOWN_ONLY = {"console", "text"}


def blocks(page):
    """(label, body, line of the body's first line) of each fenced block."""
    text = page.read_text(encoding="utf-8")
    for match in FENCE.finditer(text):
        yield match.group(1).strip(), match.group(2), text.count("\n", 0, match.start(2)) + 1


def test_the_guide_has_pages_with_examples():
    labels = [label for page in PAGES for label, _, _ in blocks(page)]
    assert len(PAGES) >= 6 and labels.count("pycon") >= 20


@pytest.mark.parametrize("page", PAGES, ids=lambda page: page.name)
def test_examples_run(page):
    namespace = {"__name__": "__guide__"}
    parser = doctest.DocTestParser()
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE)
    report = []
    for label, body, line in blocks(page):
        where = f"{page.name}:{line}"
        if label == "python":
            exec(compile("\n" * (line - 1) + body, str(page), "exec"), namespace)
        elif label == "pycon":
            test = parser.get_doctest(body, namespace, where, str(page), line - 1)
            runner.run(test, out=report.append, clear_globs=False)
            namespace = test.globs  # the test ran in a copy
        else:
            assert label in SHOWN_ONLY, f"{where}: fence labelled {label!r} is neither run nor shown"
    assert runner.failures == 0, "".join(report)


def test_api_reference_heads_every_function_with_its_signature():
    import inspect

    import vantor

    heads = [line for line in (DOCS / "api.md").read_text(encoding="utf-8").splitlines()
             if line.startswith("### ")]
    names = [name for name in dir(vantor) if not name.startswith("__")]
    assert len(names) == 12
    for name in names:
        shown = f"{name}{inspect.signature(getattr(vantor, name))}".replace("'", '"')
        assert any(f"`{shown}`" in head for head in heads), shown
