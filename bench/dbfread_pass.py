#!/usr/bin/python3
"""One pass over the benchmark table with python3-dbfread, as a yardstick for
DbfBench's FilteredPass: every record decoded, the same text filter ("mai",
letters a to z folded) applied, the address of every passing record taken.

Run DbfBench first (it writes the table), then:
    /usr/bin/python3 bench/dbfread_pass.py [/tmp/postello-bench/bench-100000.dbf]
"""
import sys
import time

import dbfread

path = sys.argv[1] if len(sys.argv) > 1 else "/tmp/postello-bench/bench-100000.dbf"
needle = "MAI"


def upper_az(text):
    return "".join(chr(ord(c) - 32) if "a" <= c <= "z" else c for c in text)


best = None
for _ in range(3):
    start = time.perf_counter()
    table = dbfread.DBF(path, encoding="cp1252")
    passed = []
    for record in table:
        if any(needle in upper_az(v) for v in record.values()):
            passed.append(record["EMAIL"])
    elapsed = time.perf_counter() - start
    best = elapsed if best is None else min(best, elapsed)
print(f"dbfread one filtered pass: {len(passed)} of {len(table)} records passed, "
      f"best of 3: {best * 1000:.0f} ms")

start = time.perf_counter()
count = sum(1 for _ in dbfread.DBF(path, encoding="cp1252"))
print(f"dbfread plain pass (no filter): {count} records, {(time.perf_counter() - start) * 1000:.0f} ms")
