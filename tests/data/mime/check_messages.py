#!/usr/bin/python3
"""Reads composed messages back with Python's email package.

Usage: check_messages.py MANIFEST

The manifest (Windows-1252, as the program's text, tab-separated) lists
each message and, in depth-first order, what its leaf parts must hold:

    message <eml file> <expected tree> <subject> <sender display name>
    part    <payload file> <file name or empty> <content id or empty>

Every message is parsed twice: with the compat32 parser (the structure, the
decoded bytes, the raw parameters) and with the modern default policy (the
decoded headers, the text content by its declared charset, which must give
the characters the Windows-1252 text stands for). Prints one line per
problem and exits 1 when there is any.
"""
import email
import os
import sys
from email import policy

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from mailparts import decoded, header_defects, leaves, tree as describe  # noqa: E402


def check(entry, problems):
    path, tree, subject, sender, parts = entry
    data = open(path, "rb").read()
    name = path.rsplit("/", 1)[-1]

    def problem(text):
        problems.append("%s: %s" % (name, text))

    old = email.message_from_bytes(data)
    new = email.message_from_bytes(data, policy=policy.default)

    for part in old.walk():
        for defect in part.defects:
            problem("parser defect %r" % defect)
    for defect in ("%s: %s" % found for found in header_defects(new)):
        problem("header defect %s" % defect)

    if describe(old) != tree:
        problem("tree %s, expected %s" % (describe(old), tree))
    if str(new["Subject"] or "") != subject:
        problem("subject %r, expected %r" % (str(new["Subject"]), subject))
    if sender and new["From"].addresses[0].display_name != sender:
        problem("sender %r, expected %r" % (new["From"].addresses[0].display_name, sender))

    body = data.split(b"\r\n\r\n", 1)[1]
    if int(old["Content-Length"]) != len(body):
        problem("Content-Length %s, body has %d bytes" % (old["Content-Length"], len(body)))

    old_leaves = list(leaves(old))
    new_leaves = list(leaves(new))
    if len(old_leaves) != len(parts):
        problem("%d leaf parts, expected %d" % (len(old_leaves), len(parts)))
        return
    for index, (leaf, modern, (payload_path, filename, cid)) in enumerate(zip(old_leaves, new_leaves, parts)):
        expected = open(payload_path, "rb").read()
        got = leaf.get_payload(decode=True)
        if got != expected:
            problem("part %d: %d decoded bytes differ from the %d composed" % (index, len(got or b""), len(expected)))
        if leaf.get("Content-Transfer-Encoding", "").lower() != "base64":
            problem("part %d: transfer encoding %r" % (index, leaf.get("Content-Transfer-Encoding")))
        if leaf.get_content_maintype() == "text":
            if modern.get_content() != expected.decode("cp1252"):
                problem("part %d: text differs when read by its charset %s" % (index, modern.get_content_charset()))
        elif modern.get_content() != expected:
            problem("part %d: content differs under the default policy" % index)
        if decoded(leaf.get_filename()) != filename:
            problem("part %d: file name %r, expected %r" % (index, decoded(leaf.get_filename()), filename))
        if (modern.get_filename() or "") != filename:
            problem("part %d: default-policy file name %r, expected %r" % (index, modern.get_filename(), filename))
        if (leaf.get("Content-ID") or "") != cid:
            problem("part %d: content id %r, expected %r" % (index, leaf.get("Content-ID"), cid))


def main():
    entries = []
    with open(sys.argv[1], encoding="cp1252", newline="\n") as manifest:
        for line in manifest:
            fields = line.rstrip("\n").split("\t")
            if fields[0] == "message":
                entries.append((fields[1], fields[2], fields[3], fields[4], []))
            elif fields[0] == "part":
                entries[-1][4].append((fields[1], fields[2], fields[3]))
    problems = []
    for entry in entries:
        check(entry, problems)
    for text in problems:
        print(text)
    print("checked %d messages, %d problems" % (len(entries), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
