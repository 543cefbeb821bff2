#!/usr/bin/python3
"""The reference for bench_sent_history: the same log folder read with
Python's email package, as a mail program in Python would list it.

  sent_history_python.py LOG_FOLDER WORD

Lists mailLOG/*/*.eml newest first, parses each (headers: Date, To,
Subject), then searches every body for WORD. Prints one line:
  python first_ms=… list_ms=… search_ms=… matches=… unreadable=… peak_kib=…
"""
import email
import email.policy
import os
import resource
import sys
import time

folder, word = sys.argv[1], sys.argv[2]
began = time.monotonic()
files = []
for day in sorted(os.listdir(folder)):
    path = os.path.join(folder, day)
    if os.path.isdir(path) and not os.path.islink(path):
        for name in os.listdir(path):
            if name.endswith(".eml"):
                full = os.path.join(path, name)
                files.append((os.stat(full).st_mtime, full))
files.sort(reverse=True)

rows, unreadable, first_ms = [], 0, None
for _, path in files:
    with open(path, "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    if not (message["Date"] or message["To"] or message["Subject"]):
        unreadable += 1
        continue
    rows.append((str(message["Date"]), str(message["To"]), str(message["Subject"]), path))
    if first_ms is None and len(rows) >= 40:
        first_ms = (time.monotonic() - began) * 1000
list_ms = (time.monotonic() - began) * 1000

began = time.monotonic()
matches = 0
folded = word.casefold()
for _, _, subject, path in rows:
    with open(path, "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    try:
        body = message.get_content()
    except (LookupError, KeyError):
        body = ""
    if folded in subject.casefold() or folded in body.casefold():
        matches += 1
search_ms = (time.monotonic() - began) * 1000
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(f"python first_ms={first_ms or list_ms:.1f} list_ms={list_ms:.1f} search_ms={search_ms:.1f} "
      f"matches={matches} unreadable={unreadable} peak_kib={peak}")
