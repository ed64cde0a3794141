#!/usr/bin/env python3
"""Lists the C++ functions whose body spans more than a limit of lines; fails when there is one.

    scripts/check-function-length.py [--limit 60] [PATH ...]      (PATH: files or folders; src)

A function's length counts the lines from its opening brace to its closing one. The scan is a
reading of the braces, not a parser: comments and string and character literals are blanked
first, and a brace opens a function when what precedes it ends like a parameter list (or a
constructor's initialisers) that does not belong to a control statement or a lambda. Functions
and lambdas inside a function count as part of it.
"""
import argparse
import pathlib
import re
import sys

SUFFIXES = ('.cpp', '.cc', '.h')
CONTROL = re.compile(r'\b(if|for|while|switch|catch|do|else|try)\s*$')
TRAILING_QUALIFIERS = re.compile(r'(\b(const|override|noexcept|final|mutable)\b\s*)+$')
TRAILING_RETURN = re.compile(r'->\s*[\w:<>,\s*&]+$')
INITIALISERS = re.compile(r'\)\s*:\s*[^;{}]*\)$')
LOOK_BACK = 400  # characters before a brace read to decide whether it opens a function


def blanked(text):
    """The text with each comment and literal's contents replaced by spaces, lines kept."""
    out = []
    i, n = 0, len(text)

    def blank(j):
        out.append(''.join(ch if ch == '\n' else ' ' for ch in text[i:j]))
        return j

    while i < n:
        if text.startswith('//', i):
            j = text.find('\n', i)
            i = blank(n if j < 0 else j)
        elif text.startswith('/*', i):
            j = text.find('*/', i + 2)
            i = blank(n if j < 0 else j + 2)
        elif text.startswith('R"', i) and (m := re.match(r'R"([^(]*)\(', text[i:])):
            j = text.find(')' + m.group(1) + '"', i)
            i = blank(n if j < 0 else j + len(m.group(1)) + 2)
        elif text[i] in '"\'':
            quote, j = text[i], i + 1
            while j < n and text[j] != quote:
                j += 2 if text[j] == '\\' else 1
            out.append(quote)
            i += 1
            i = blank(min(j, n))
            out.append(quote)
            i += 1
        else:
            out.append(text[i])
            i += 1
    return ''.join(out)


def function_name(before):
    """The name of the function whose head ends `before` (just before its body's brace), or None
    when the brace opens something else."""
    head = TRAILING_QUALIFIERS.sub('', before).rstrip()
    head = TRAILING_RETURN.sub('', head).rstrip()
    if not (head.endswith(')') or INITIALISERS.search(head)):
        return None
    depth, k = 0, len(head) - 1
    while k >= 0:  # back to the '(' matching the last ')'
        if head[k] == ')':
            depth += 1
        elif head[k] == '(':
            depth -= 1
            if depth == 0:
                break
        k -= 1
    name_part = head[:k].rstrip()
    if CONTROL.search(head[:k]) or name_part.endswith(']'):  # a control statement or a lambda
        return None
    names = re.findall(r'([~\w:]+)\s*$', name_part)
    return names[-1] if names else '?'


def long_functions(path, limit):
    """(length, line, name) of each function in the file longer than `limit` lines."""
    text = blanked(path.read_text(errors='replace'))
    found = []
    stack = []  # per open brace: whether it opens a function outside any other
    line, start, name = 1, 0, None
    for idx, ch in enumerate(text):
        if ch == '\n':
            line += 1
        elif ch == '{':
            opens = False
            if True not in stack:
                name = function_name(text[max(0, idx - LOOK_BACK):idx].rstrip())
                opens = name is not None
                if opens:
                    start = line
            stack.append(opens)
        elif ch == '}' and stack and stack.pop():
            if line - start + 1 > limit:
                found.append((line - start + 1, start, name))
    return found


def sources(paths):
    for root in map(pathlib.Path, paths):
        files = [root] if root.is_file() else sorted(root.rglob('*'))
        yield from (p for p in files if p.suffix in SUFFIXES)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--limit', type=int, default=60, help='most lines a function may span')
    parser.add_argument('paths', nargs='*', default=['src'], help='files or folders to scan')
    args = parser.parse_args()
    missing = [p for p in args.paths if not pathlib.Path(p).exists()]
    if missing:
        print('no such file or folder: ' + ', '.join(missing), file=sys.stderr)
        return 2
    found = [(length, f'{path}:{line}', name)
             for path in sources(args.paths)
             for length, line, name in long_functions(path, args.limit)]
    for length, where, name in sorted(found, reverse=True):
        print(f'{length:5d} {where} {name}')
    if found:
        print(f'{len(found)} functions over {args.limit} lines: split them', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
