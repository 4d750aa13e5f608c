#!/usr/bin/env python3
"""Replaces one benchmark's section of a Markdown file.

Usage: bench/section.py FILE NAME < section.md
The section lies between the lines <!-- NAME --> and <!-- /NAME -->; without them it is added at the end.
The other sections of the file are left as they are. The benchmark scripts in Python call replace() themselves.
"""
import re
import sys


def replace(path, name, body):
    section = f'<!-- {name} -->\n{body.rstrip(chr(10))}\n<!-- /{name} -->\n'
    try:
        text = open(path, encoding='utf-8').read()
    except FileNotFoundError:
        text = ''
    pattern = re.compile(rf'<!-- {re.escape(name)} -->\n.*?<!-- /{re.escape(name)} -->\n?', re.S)
    if pattern.search(text):
        text = pattern.sub(lambda _: section, text)
    else:
        text = (text.rstrip('\n') + '\n\n' if text else '') + section
    open(path, 'w', encoding='utf-8').write(text)


if __name__ == '__main__':
    replace(sys.argv[1], sys.argv[2], sys.stdin.read())
