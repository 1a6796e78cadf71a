#!/usr/bin/env python3
"""Seeds fuzz/corpus/<target>/ from the string literals of the tests: replies
for the reply readers, URLs, cookie texts, filters and names for the page's
texts. Run again after adding tests; existing seeds stay."""
import hashlib
import os
import re
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
LITERAL = re.compile(r'(?:u8|L)?"((?:[^"\\\n]|\\.)*)"')


def unescape(text):
    out = bytearray()
    i = 0
    raw = text.encode('utf-8')
    while i < len(raw):
        c = raw[i]
        if c != 0x5C or i + 1 >= len(raw):
            out.append(c)
            i += 1
            continue
        n = chr(raw[i + 1])
        i += 2
        if n == 'x':
            m = re.match(rb'[0-9a-fA-F]+', raw[i:])
            if m:
                out += int(m.group(0), 16).to_bytes(2, 'little') if int(m.group(0), 16) > 0xFF \
                    else bytes([int(m.group(0), 16)])
                i += len(m.group(0))
        else:
            out += {'r': b'\r', 'n': b'\n', 't': b'\t', '0': b'\0', '\\': b'\\', '"': b'"'}.get(n, n.encode())
    return bytes(out)


def literals(paths):
    for path in paths:
        with open(os.path.join(ROOT, path), encoding='utf-8', errors='replace') as f:
            text = f.read()
        # Adjacent literals are one string in C++.
        text = re.sub(r'"\s*\n\s*(?:u8|L)?"', '', text)
        for m in LITERAL.finditer(text):
            yield unescape(m.group(1))


def wide(data):
    return data.decode('utf-8', errors='replace').encode('utf-16-le')


def write(target, seeds):
    folder = os.path.join(ROOT, 'fuzz', 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    for seed in seeds:
        name = hashlib.sha1(seed).hexdigest()[:16]
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(seed)


def main():
    replies = [s for s in literals(['upload/tests/upload_reply_test.cpp', 'upload/tests/upload_engine_test.cpp',
                                    'download/tests/download_mends_test.cpp', 'download/tests/download_engine_test.cpp'])
               if s.startswith(b'HTTP/')]
    for target in ('reply_frame', 'upload_reply', 'exists_reply', 'download_reply'):
        write(target, [bytes([p]) + r for r in replies for p in (0, 7, 63)])
    urls = [s for s in literals(['common/tests/url_test.cpp', 'common/tests/cookies_test.cpp'])
            if b'://' in s or b':' in s]
    write('url', [wide(a) + b'\0\0' + wide(b) for a in urls for b in urls[:6]])
    cookie_texts = [s for s in literals(['common/tests/cookies_test.cpp', 'upload/tests/upload_engine_test.cpp'])
                    if b'=' in s]
    write('cookies', [bytes([c, 3, 5]) + wide(u) + b'\0\0' + wide(t) for t in cookie_texts for u in urls[:3]
                      for c in (0, 200)])
    list_texts = list(literals(['uploadlist/tests/upload_list_test.cpp']))
    filters = [s for s in list_texts if b';' in s or s.startswith(b'.')]
    paths = [s for s in list_texts if b'\\' in s or b'.' in s][:40]
    write('ext_filter', [wide(f) + b'\0\0\0\0' + b''.join(wide(p) + b'\0\0' for p in paths[:8]) for f in filters])
    write('list_texts', [bytes([2, 1, 0]) + wide(a) + b'\0\0' + wide(b) + struct.pack('<d', 1024.0)
                         for a, b in zip(paths, paths[1:])])
    names = list(literals(['download/tests/file_name_rules_test.cpp', 'download/tests/same_file_test.cpp']))
    write('download_names', [wide(n) for n in names if n])


if __name__ == '__main__':
    sys.exit(main())
