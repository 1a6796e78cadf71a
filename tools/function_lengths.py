#!/usr/bin/env python3
"""Lists the C and C++ functions longer than a limit (60 lines).

A function runs from the first line of its declaration (a template line
included, the comments above it not) to the line of its closing brace.
Lambdas and local classes count toward the function around them. Test
sources (tests/ directories, *_test.cpp) are left out. Exits 1 when it
listed a function, 0 when there is none.

    tools/function_lengths.py [--max N] [PATH...]

Without paths it reads the product and the tools: common uploadlist upload
download control module tools. The reading is textual, not a compiler's: it
blanks comments, literals and preprocessor lines, then takes a brace at
namespace or class scope whose head ends in a parameter list (and
qualifiers, or a constructor's initialisers) for a function body.
"""

import argparse
import os
import re
import sys

DEFAULT_DIRS = ["common", "uploadlist", "upload", "download", "control", "module", "tools"]
EXTENSIONS = (".c", ".cc", ".cpp", ".h", ".hpp")


def is_test_source(path):
    parts = path.replace(os.sep, "/").split("/")
    name = parts[-1]
    return "tests" in parts[:-1] or re.search(r"_tests?\.(c|cc|cpp)$", name) is not None


def sources(paths):
    for path in paths:
        if os.path.isfile(path):
            yield path
            continue
        for root, dirs, files in os.walk(path):
            dirs[:] = sorted(d for d in dirs if d != "tests")
            for name in sorted(files):
                full = os.path.join(root, name)
                if name.endswith(EXTENSIONS) and not is_test_source(full):
                    yield full


def quoted_end(text, i):
    """The end of the string or character literal opening at i; a line end
    ends a broken one."""
    j = i + 1
    while j < len(text) and text[j] not in (text[i], "\n"):
        j += 2 if text[j] == "\\" else 1
    return min(j + 1, len(text))


def directive_end(text, i):
    """The end of the preprocessor line at i, with its continuations and
    any comment that runs on past it."""
    j = i
    while j < len(text) and text[j] != "\n":
        if text.startswith("\\\n", j):
            j += 2
        elif text.startswith("/*", j):
            end = text.find("*/", j + 2)
            j = len(text) if end < 0 else end + 2
        else:
            j += 1
    return j


def skipped_end(text, i, line_start):
    """The end of the comment, literal or preprocessor line starting at i;
    None when none starts there."""
    if line_start and text[i] == "#":
        return directive_end(text, i)
    if text.startswith("//", i):
        end = text.find("\n", i)
        return len(text) if end < 0 else end
    if text.startswith("/*", i):
        end = text.find("*/", i + 2)
        return len(text) if end < 0 else end + 2
    raw = re.match(r'R"([^(\s]*)\(', text[i - 1:i + 20]) if text[i] == '"' and text[i - 1:i] == "R" else None
    if raw:
        end = text.find(")" + raw.group(1) + '"', i)
        return len(text) if end < 0 else end + len(raw.group(1)) + 2
    if text[i] == '"':
        return quoted_end(text, i)
    if text[i] == "'" and not re.search(r"(^|[^\w'])\d[\w'.]*$", text[max(i - 40, 0):i]):
        return quoted_end(text, i)  # and not a digit separator: 1'000'000
    return None


def blank(text):
    """Replaces comments, literals and preprocessor lines by spaces,
    keeping every newline where it was."""
    out, i = [], 0
    line_start = True
    while i < len(text):
        end = skipped_end(text, i, line_start)
        if end is None:
            out.append(text[i])
            line_start = text[i] == "\n" or (line_start and text[i] in " \t")
            i += 1
        else:
            out.append(re.sub(r"[^\n]", " ", text[i:end]))
            line_start = False
            i = end
    return "".join(out)


ACCESS = re.compile(r"^\s*((public|protected|private)\s*:(?!:)\s*)+")
TEMPLATE = re.compile(r"^(template\s*<[^{};]*?>\s*)+")
CALL_OPERATOR = re.compile(r"\boperator\s*\(\s*\)")
QUALIFIER = r"\s*(const|volatile|noexcept|override|final|&&|&|try|->\s*[\w:<>,\s*&()]+)"
INITIALISERS = re.compile(r"\)(" + QUALIFIER + r")*\s*:(?!:)")
QUALIFIERS = re.compile(r"(" + QUALIFIER + r")*\s*$")


def strip_groups(head):
    """The head with the insides of () {} [] groups at its outer level
    dropped, the brackets kept: 'Foo::Foo(int a) : b_(a)' -> 'Foo::Foo() : b_()'."""
    out, depth = [], 0
    for ch in head:
        if ch in "({[":
            if depth == 0:
                out.append(ch)
            depth += 1
        elif ch in ")}]":
            depth = max(depth - 1, 0)
            if depth == 0:
                out.append(ch)
        elif depth == 0:
            out.append(ch)
    return "".join(out)


def declarator(head):
    """What comes before a function's parameter list, on one line without
    templates or access labels: 'A& A::operator=' for
    'public: A& A::operator=(const A& o) const'. None when the head cannot
    precede a body: it does not end in a parameter list (and qualifiers or a
    constructor's complete initialisers)."""
    flat = TEMPLATE.sub("", ACCESS.sub("", " ".join(head.split())))
    outer = strip_groups(CALL_OPERATOR.sub("operator$call", flat))
    init = INITIALISERS.search(outer)
    if init:
        if not outer.endswith((")", "}")):
            return None  # the braces of one initialiser: 'A() : b_{'
        outer = outer[:init.start() + 1]
    outer = QUALIFIERS.sub("", outer)
    return outer[:-2].rstrip() if outer.endswith("()") else None


def classify(head):
    """'scope' for a namespace, class or extern block, 'function' for a
    function body, 'other' for an initialiser and anything else."""
    flat = TEMPLATE.sub("", ACCESS.sub("", " ".join(head.split())))
    if re.match(r"^(inline\s+)?namespace\b", flat) or flat == "extern":
        return "scope"
    outer = strip_groups(flat)
    if re.match(r"^(typedef\s+)?(class|struct|union|enum)\b", outer) and not outer.endswith(")"):
        return "scope"
    before = declarator(head)
    if not before or before.endswith("]"):
        return "other"  # an initialiser, or a lambda in one
    if "=" in re.sub(r"\boperator\S*$", "", before):
        return "other"  # a lambda or a call in an initialiser
    if re.search(r"\b(if|for|while|switch|catch|return|sizeof|decltype|alignas)$", before):
        return "other"
    return "function"


def function_name(head):
    before = declarator(head).replace("operator$call", "operator()")
    return re.search(r"[^\s*&]+$", before).group(0)


def long_functions(path, limit):
    with open(path, encoding="utf-8", errors="replace") as f:
        text = blank(f.read())
    found = []
    stack = []  # (kind, line of the brace, head)
    head_start = 0
    line = 1
    for i, ch in enumerate(text):
        if ch == "\n":
            line += 1
        elif ch == ";" and (not stack or stack[-1][0] == "scope"):
            head_start = i + 1
        elif ch == "{":
            if stack and stack[-1][0] in ("function", "inner"):
                stack.append(("inner", line, ""))
                continue
            head = text[head_start:i]
            kind = classify(head)
            # A function runs from the first line of its declaration.
            declaration = ACCESS.sub("", head).lstrip()
            first = line - declaration.count("\n") if kind == "function" else line
            stack.append((kind, first, head.strip()))
            if kind != "other":
                head_start = i + 1
        elif ch == "}" and stack:
            kind, start, head = stack.pop()
            if kind == "function" and line - start + 1 > limit:
                found.append((start, line - start + 1, function_name(head)))
            if kind in ("function", "scope"):
                head_start = i + 1
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--max", type=int, default=60, help="longest body allowed, in lines (60)")
    parser.add_argument("paths", nargs="*", help="files or directories (the product and the tools)")
    args = parser.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    paths = args.paths or [os.path.join(root, d) for d in DEFAULT_DIRS]
    listed = 0
    for path in sources(paths):
        shown = os.path.relpath(path, root) if not args.paths else path
        for start, length, name in long_functions(path, args.max):
            print(f"{shown}:{start}: {name} {length} lines")
            listed += 1
    return 1 if listed else 0


if __name__ == "__main__":
    sys.exit(main())
