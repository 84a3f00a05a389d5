#!/usr/bin/env python3
"""The manual check finds each way the page and --help can drift apart.

usage: check_manual_test.py TOVALIN PAGE

PAGE is the page written from TOVALIN (its roff source). Each case damages a copy of the page,
or answers in place of the tool with a changed text, and runs check_manual.py on that: the
untouched pair must pass, every damaged one must fail with the message that names the drift.
"""
import os
import re
import stat
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

# A stand-in for the tool: runs the real one, and for one command line answers with a changed
# text (an empty "old" gives the new text in place of whatever the tool said, and success).
FAKE_TOOL = """#!/usr/bin/env python3
import subprocess, sys
result = subprocess.run([%(real)r] + sys.argv[1:], stdout=subprocess.PIPE,
                        universal_newlines=True)
out, status = result.stdout, result.returncode
if " ".join(sys.argv[1:]) == %(when)r:
    out, status = (out.replace(%(old)r, %(new)r), status) if %(old)r else (%(new)r, 0)
sys.stdout.write(out)
sys.exit(status)
"""


def page_edit(pattern, replacement):
    def edit(text):
        changed, count = re.subn(pattern, replacement, text, count=1, flags=re.S | re.M)
        assert count == 1, "the page has no match for %r" % pattern
        return changed
    return edit


# (what drifts, edit of the page source or None, (tool command line, old, new) or None,
#  what the check must say; None for the untouched pair, which must pass)
CASES = [
    ("nothing", None, None, None),
    ("an option left out of the page", page_edit(r"^\.TP\n\\fB\\-\\-json.*?(?=^\.)", ""),
     None, "tovalin list: the page and --help differ"),
    ("an option the help gained", None,
     ("pack --help", "  -f, --force", "      --best             look harder\n  -f, --force"),
     "tovalin pack: the page and --help differ"),
    ("a command the tool gained", None,
     ("--help", "  build ", "  sign      sign an installer\n  build "),
     "the page documents the commands"),
    ("a paragraph of the overview left out",
     page_edit(r"^Run \\\(aqtovalin COMMAND.*?\n", ""), None,
     "the page lacks this paragraph of tovalin --help"),
    ("an example with an option the command lacks",
     page_edit(r"extract \\-\\-unpack", r"extract \\-\\-unzip"), None,
     "an example gives tovalin extract the option --unzip"),
    ("a page groff warns about", page_edit(r"^\.SH SEE ALSO", ".XX\n.SH SEE ALSO"), None,
     "groff warns about the page"),
    ("another version", None, ("--version", "", "tovalin 9.9\n"), "the page is of"),
]


def main():
    if len(sys.argv) != 3:
        print("usage: check_manual_test.py TOVALIN PAGE", file=sys.stderr)
        return 2
    tool, page = os.path.abspath(sys.argv[1]), sys.argv[2]
    with open(page, encoding="utf-8") as f:
        source = f.read()
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        for index, (what, edit, answer, expected) in enumerate(CASES):
            case_page = os.path.join(work, "case%d.1" % index)
            with open(case_page, "w", encoding="utf-8") as f:
                f.write(edit(source) if edit else source)
            case_tool = tool
            if answer:
                case_tool = os.path.join(work, "tool%d" % index)
                with open(case_tool, "w", encoding="utf-8") as f:
                    f.write(FAKE_TOOL % {"real": tool, "when": answer[0], "old": answer[1],
                                         "new": answer[2]})
                os.chmod(case_tool, stat.S_IRWXU)
            result = subprocess.run(
                [sys.executable, os.path.join(HERE, "check_manual.py"), case_tool, case_page],
                stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True)
            if expected is None:
                ok = result.returncode == 0
            else:
                ok = result.returncode == 1 and expected in result.stderr
            print("%s: %s" % ("ok" if ok else "FAILED", what))
            if not ok:
                failures += 1
                print("  status %d, expected %s; it said:\n%s%s" %
                      (result.returncode, "0" if expected is None else "1 and \"%s\"" % expected,
                       result.stdout, result.stderr))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
