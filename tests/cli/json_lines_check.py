"""Reads JSON lines back with Python's parser: names with quotes, control
characters, non-ASCII and invalid UTF-8, every byte alone and random ones."""
import json
import os
import random
import subprocess
import sys

program = sys.argv[1:]
rng = random.Random(20241209)
names = [b'plain.txt', b'q"uote', b'back\\slash', b'line\nfeed\r', b'\x1b[31mred', b'caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80',
         b'latin1 \xe9', b'\xed\xa0\x80 surrogate', b'\xc0\xaf overlong', b'\xf4\x90\x80\x80 beyond', b'\xc2\x85 nel']
names += [bytes([b]) for b in range(1, 256)]
names += [bytes(rng.choice(b'a"\\\n\x01\x7f\x80\xbf\xc3\xa9\xe2\xf0\xff') for _ in range(rng.randint(1, 24)))
          for _ in range(400)]

output = subprocess.run([os.fsencode(p) for p in program] + names,
                        stdout=subprocess.PIPE, check=True).stdout
lines = output.split(b'\n')
assert lines[-1] == b'', 'output does not end in a line feed'
lines = lines[:-1]
assert len(lines) == len(names), f'{len(lines)} lines for {len(names)} names'
failures = 0
for name, line in zip(names, lines):
    try:
        text = line.decode('utf-8')  # strict: the whole line is UTF-8
        assert not any(ord(c) < 0x20 for c in text), 'raw control character'
        record = json.loads(text)
        try:
            valid = name.decode('utf-8')
        except UnicodeDecodeError:
            valid = None
        if valid is not None:
            assert record['path'] == valid and 'path_hex' not in record, 'path'
        else:
            assert bytes.fromhex(record['path_hex']) == name and 'path' not in record, 'path_hex'
        assert record['word'] == 'altered'
        assert record['reason'] == 'a "reason"\t\x01\ufffd'
        assert record['stored'] == bytes(range(64)).hex()
        assert record['computed'] == bytes(i * 3 % 256 for i in range(64)).hex()
        assert record['size'] == 1234
        assert record['modified'] == '1969-12-31T23:39:25.432109877Z'
    except (AssertionError, ValueError, KeyError) as problem:
        failures += 1
        print(f'{name!r}: {line!r}: {problem}')
print(f'{len(names)} lines read, {failures} wrong')
sys.exit(1 if failures else 0)
