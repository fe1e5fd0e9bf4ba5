#!/usr/bin/env python3
"""Writes Maildir mailboxes straight to disk, fast, for the private test mail server.

Arguments come in pairs: a Maildir folder and what it holds, either
  "N/U"         N messages of which U (spread evenly) lack the \\Seen flag, or
  "F1,F2,..."   one message per item with those Maildir flags ("-" for none, e.g. "S", "RS").
"""
import os
import sys


def message(index):
    return (
        "From: sender%d@example.org\r\n"
        "To: reader@example.org\r\n"
        "Subject: Message %d\r\n"
        "Date: Mon, 1 Dec 2025 10:00:00 +0000\r\n"
        "Message-ID: <%d@wisp.test>\r\n"
        "\r\n"
        "Body of message %d.\r\n" % (index, index, index, index)
    ).encode()


def flag_list(spec):
    if "/" in spec:
        total, unseen = (int(x) for x in spec.split("/"))
        # Message i (from 0) is unseen when it crosses the next multiple of total/unseen.
        return ["" if unseen and (i * unseen) // total != ((i + 1) * unseen) // total else "S"
                for i in range(total)]
    return ["" if f == "-" else f for f in spec.split(",")]


def write_box(folder, spec):
    for sub in ("cur", "new", "tmp"):
        os.makedirs(os.path.join(folder, sub), exist_ok=True)
    for i, flags in enumerate(flag_list(spec), start=1):
        name = "1764583200.M%dP1.wisp:2,%s" % (i, flags)
        with open(os.path.join(folder, "cur", name), "wb") as f:
            f.write(message(i))


def main(args):
    if len(args) % 2:
        sys.exit("mailboxes.py: arguments come in pairs: folder spec")
    for folder, spec in zip(args[0::2], args[1::2]):
        write_box(folder, spec)


if __name__ == "__main__":
    main(sys.argv[1:])
