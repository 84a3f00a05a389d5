#!/usr/bin/env python3
"""Holds tovalin's manual page to the tool's --help texts.

usage: check_manual.py TOVALIN PAGE

Renders PAGE with "man -l" as a reader sees it and compares words, so that layout and fonts do
not matter but every word does:
  - each command's subsection says exactly what "TOVALIN COMMAND --help" says, in order;
  - the subsections are the commands "TOVALIN --help" lists, in its order;
  - every paragraph of "TOVALIN --help" is in the page;
  - the examples use only options their command's help names;
  - the page carries the version "TOVALIN --version" prints, and groff has no warning for it.
It parses the help texts on its own, not with the page's generator, so that a text the
generator drops or mangles shows. Exit status 0 when page and help agree, 1 with the
differences on standard error when they do not.
"""
import difflib
import os
import re
import subprocess
import sys

# What groff may set for ASCII characters in a UTF-8 locale.
TYPOGRAPHIC = str.maketrans({"\u2010": "-", "\u2011": "-", "\u2212": "-", "\u2013": "-",
                             "\u2018": "'", "\u2019": "'", "\u201c": '"', "\u201d": '"',
                             "\u02dc": "~", "\u02c6": "^", "\u00a0": " "})


def words(text):
    return text.translate(TYPOGRAPHIC).split()


def run(*command, env=None):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          universal_newlines=True, env=env)


def render(page):
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8", MANWIDTH="100")
    env.pop("MAN_KEEP_FORMATTING", None)
    result = run("man", "--warnings", "-l", page, env=env)
    # Overstruck bold and underlined characters, should a formatter leave them in.
    return re.sub(r".\x08", "", result.stdout), result.stderr


def sections(rendered):
    """Section name -> its lines; the COMMANDS section's subsections as "COMMANDS/<title>"."""
    lines = rendered.rstrip("\n").split("\n")
    found = {"HEADER": [lines[0]], "FOOTER": [lines[-1]]}
    current = None
    for line in lines[1:-1]:
        if re.match(r"^\S", line):
            current = line.strip()
            found[current] = []
        elif current and current.startswith("COMMANDS") and re.match(r"^ {3}\S", line):
            current = "COMMANDS/" + line.strip()
            found[current] = []
        elif current:
            found[current].append(line)
    return found


def help_paragraphs(text):
    """Paragraphs of a help text (split by blank lines), "Exit status:" lines starting their
    own, as lists of lines."""
    result = []
    for chunk in re.split(r"\n\s*\n", text.strip("\n")):
        current = []
        for line in chunk.split("\n"):
            if line.startswith("Exit status:") and current:
                result.append(current)
                current = []
            current.append(line)
        result.append(current)
    return result


def listed_commands(overview):
    lines = overview.split("\n")
    start = lines.index("Commands:") + 1
    names = []
    for line in lines[start:]:
        if not line.startswith("  "):
            break
        names.append(line.split()[0])
    return names


def options_named(help_text):
    return set(re.findall(r"(?<![\w-])(--?[A-Za-z][\w-]*)", help_text))


def contains(haystack, needle):
    n = len(needle)
    return any(haystack[i:i + n] == needle for i in range(len(haystack) - n + 1))


def word_differences(page_words, help_words, limit=5):
    out = []
    matcher = difflib.SequenceMatcher(a=help_words, b=page_words, autojunk=False)
    for tag, a1, a2, b1, b2 in matcher.get_opcodes():
        if tag == "equal":
            continue
        context = " ".join(help_words[max(0, a1 - 4):a1])
        out.append("after \"...%s\": --help has \"%s\", the page \"%s\"" %
                   (context, " ".join(help_words[a1:a2]), " ".join(page_words[b1:b2])))
        if len(out) == limit:
            break
    return out


def check(tool, page):
    problems = []
    rendered, warnings = render(page)
    if warnings.strip():
        problems.append("groff warns about the page:\n" + warnings.strip())
    found = sections(rendered)

    version = run(tool, "--version").stdout.strip()
    if version not in found["FOOTER"][0]:
        problems.append("the page is of \"%s\", the tool says \"%s\"" %
                        (found["FOOTER"][0].strip(), version))

    overview = run(tool, "--help").stdout
    commands = listed_commands(overview)
    documented = [name[len("COMMANDS/tovalin "):] for name in found
                  if name.startswith("COMMANDS/tovalin ")]
    if documented != commands:
        problems.append("the page documents the commands %s, --help lists %s" %
                        (documented, commands))

    page_words = words(rendered)
    for paragraph in help_paragraphs(overview):
        # The synopsis shows the usage lines without their label.
        expected = [word for word in words("\n".join(paragraph)) if word != "Usage:"]
        if not contains(page_words, expected):
            problems.append("the page lacks this paragraph of tovalin --help: \"%s\"" %
                            " ".join(expected))

    options = {}
    for name in commands:
        try:
            text = run(tool, name, "--help").stdout
        except subprocess.CalledProcessError as error:
            problems.append("tovalin %s --help fails (status %d)" % (name, error.returncode))
            continue
        options[name] = options_named(text)
        expected = words(text)
        section = words("\n".join(found.get("COMMANDS/tovalin " + name, [])))
        if section != expected:
            problems.append("tovalin %s: the page and --help differ:\n  %s" %
                            (name, "\n  ".join(word_differences(section, expected))))

    for line in found.get("EXAMPLES", []):
        example = line.split()
        if len(example) < 3 or example[:2] != ["$", "tovalin"]:
            continue
        command = example[2]
        if command not in options:
            problems.append("an example runs the unknown command \"%s\"" % command)
            continue
        for word in example[3:]:
            option = word.split("=")[0]
            if re.match(r"^--?[A-Za-z]", option) and option not in options[command]:
                problems.append("an example gives tovalin %s the option %s, which its --help "
                                "does not name" % (command, option))
    return problems, len(commands)


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().split("\n")[2], file=sys.stderr)
        return 2
    problems, count = check(sys.argv[1], sys.argv[2])
    for problem in problems:
        print("check_manual: " + problem, file=sys.stderr)
    if problems:
        return 1
    print("check_manual: %s agrees with --help (%d commands)" % (sys.argv[2], count))
    return 0


if __name__ == "__main__":
    sys.exit(main())
