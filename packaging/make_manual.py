#!/usr/bin/env python3
"""Writes tovalin's manual page from the tool's own --help texts.

The page is tovalin.1.in with its @...@ parts filled in: the synopsis from every usage line, the
description and exit status from "tovalin --help", and one subsection per command holding all of
"tovalin COMMAND --help", word for word, in order. The texts are taken from the built tool, so
the page says whatever the commands say, options added later included; tests/install/
check_manual.py renders the page and holds it to the tool.

A help text is read as the tool writes it: paragraphs split by blank lines; a paragraph that
starts with "Usage:" is the usage; a line ending in ":" over indented lines is a heading with its
entries ("  -o, --output FILE  text", continued by lines indented to the text); in other
paragraphs an indented line is shown as it stands, and "Exit status:" starts a paragraph of its
own.
"""
import argparse
import gzip
import re
import subprocess
import sys


def run_tool(tool, *args):
    return subprocess.run([tool, *args], check=True, stdout=subprocess.PIPE,
                          universal_newlines=True).stdout


def paragraphs(text):
    chunk = []
    for line in text.rstrip("\n").split("\n"):
        if line.strip():
            chunk.append(line.rstrip())
        elif chunk:
            yield chunk
            chunk = []
    if chunk:
        yield chunk


def indent_of(line):
    return len(line) - len(line.lstrip(" "))


def entries(lines):
    """The entries under a heading: (term, [description lines])."""
    found = []
    text_column = None
    for line in lines:
        if found and text_column is not None and indent_of(line) >= text_column:
            found[-1][1].append(line.strip())
            continue
        match = re.match(r"^( *)(\S.*?)(?: {2,}(\S.*))?$", line)
        term, text = match.group(2), match.group(3)
        text_column = len(line) - len(text) if text else indent_of(line) + 1
        found.append((term, [text] if text else []))
    return found


def blocks(text):
    """The blocks of a help text, in order: ("usage", lines), ("text", lines),
    ("verbatim", lines), ("heading", line), ("entry", term, lines)."""
    result = []
    for chunk in paragraphs(text):
        first = chunk[0]
        if first.startswith("Usage: "):
            result.append(("usage", chunk))
        elif (first.endswith(":") and indent_of(first) == 0 and len(chunk) > 1
              and all(indent_of(line) > 0 for line in chunk[1:])):
            result.append(("heading", first))
            result.extend(("entry", term, lines) for term, lines in entries(chunk[1:]))
        else:
            run = None
            for line in chunk:
                kind = "verbatim" if indent_of(line) > 0 else "text"
                if run is None or run[0] != kind or line.startswith("Exit status:"):
                    run = (kind, [])
                    result.append(run)
                run[1].append(line)
    return result


# Characters that groff would otherwise set as typographic ones (a minus sign is "\-", an ASCII
# apostrophe "\(aq"), so that options and paths in the page can be copied as they stand.
ESCAPES = {"\\": "\\e", "-": "\\-", "'": "\\(aq", "`": "\\(ga", "~": "\\(ti", "^": "\\(ha"}


def escape(text):
    text = "".join(ESCAPES.get(c, c) for c in text)
    # A line that starts with a dot would be a request.
    return "\\&" + text if text.startswith(".") else text


def term_roff(term):
    """An entry's term: options and command names in bold, their values in italics."""
    words = []
    for index, word in enumerate(term.split(" ")):
        comma = "," if word.endswith(",") else ""
        word = word.rstrip(",")
        font = "B" if word.startswith("-") or index == 0 else "I"
        words.append("\\f%s%s\\fR%s" % (font, escape(word), comma))
    return " ".join(words)


def dedent(lines):
    common = min(indent_of(line) for line in lines)
    return [line[common:] for line in lines]


def roff(block_list):
    out = []
    for block in block_list:
        kind = block[0]
        if kind == "usage":
            out += [".PP", ".nf"] + [escape(line) for line in block[1]] + [".fi"]
        elif kind == "text":
            out += [".PP"] + [escape(line) for line in block[1]]
        elif kind == "verbatim":
            out += [".RS", ".nf"] + [escape(line) for line in dedent(block[1])] + [".fi", ".RE"]
        elif kind == "heading":
            out += [".PP", escape(block[1])]
        elif kind == "entry":
            out += [".TP", term_roff(block[1])] + [escape(line) for line in block[2]]
    return out


def usage_lines(block_list):
    """The usage of a help text without its "Usage: " label, continuations kept in line."""
    label = "Usage: "
    lines = []
    for block in block_list:
        if block[0] == "usage":
            for line in block[1]:
                cut = len(label) if line.startswith(label) else min(len(label), indent_of(line))
                lines.append(line[cut:])
    return lines


def commands_of(overview):
    """The command names listed under the overview's "Commands:" heading."""
    names = []
    heading = None
    for block in overview:
        if block[0] == "heading":
            heading = block[1]
        elif block[0] == "entry" and heading == "Commands:":
            names.append(block[1])
    return names


def is_exit_status(block):
    return block[0] == "text" and block[1][0].startswith("Exit status:")


def manual(tool, template, stub_place):
    version = run_tool(tool, "--version").strip()
    overview = blocks(run_tool(tool, "--help"))
    commands = [(name, blocks(run_tool(tool, name, "--help"))) for name in commands_of(overview)]
    if not commands:
        raise SystemExit("make_manual: 'tovalin --help' lists no commands")

    synopsis = usage_lines(overview)
    for _, help_blocks in commands:
        synopsis += usage_lines(help_blocks)
    parts = {
        "VERSION": escape(version),
        "STUB_PLACE": escape(stub_place),
        "SYNOPSIS": "\n".join([".nf"] + [escape(line) for line in synopsis] + [".fi"]),
        "DESCRIPTION": "\n".join(roff([b for b in overview
                                       if b[0] != "usage" and not is_exit_status(b)])),
        "EXIT_STATUS": "\n".join(roff([b for b in overview if is_exit_status(b)])),
        "COMMANDS": "\n".join(
            line for name, help_blocks in commands
            for line in ['.SS "tovalin %s"' % escape(name)] + roff(help_blocks)),
    }
    page = re.sub(r"@([A-Z_]+)@", lambda m: parts.pop(m.group(1)), template)
    if parts:
        raise SystemExit("make_manual: the template lacks @%s@" % "@, @".join(parts))
    return page


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--tool", required=True, help="the built tovalin")
    parser.add_argument("--template", required=True, help="tovalin.1.in")
    parser.add_argument("--stub-place", required=True,
                        help="the installed stub, relative to the tool's folder")
    parser.add_argument("--output", required=True,
                        help="the page to write; OUTPUT.gz gets the compressed page")
    args = parser.parse_args()
    with open(args.template, encoding="utf-8") as f:
        page = manual(args.tool, f.read(), args.stub_place)
    with open(args.output, "w", encoding="utf-8") as f:
        f.write(page)
    # No name and no time in the gzip header: the same page compresses to the same bytes.
    with open(args.output + ".gz", "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", compresslevel=9, fileobj=raw, mtime=0) as f:
            f.write(page.encode("utf-8"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
