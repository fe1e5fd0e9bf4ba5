#!/usr/bin/env python3
"""Holds docs/page-api.md against the method table of the control: every method once, under its
place in the table, with the result kinds its table row names."""
import pathlib
import re
import sys
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
TABLE = ROOT / "Wisp/methods/CallApplicationMethodDispatch.cpp"
REFERENCE = ROOT / "docs/page-api.md"

# Table flag -> how the reference writes it.
KINDS = {"kResultEmpty": "empty", "kResultBool": "VT_BOOL", "kResultI4": "VT_I4", "kResultI2": "VT_I2",
         "kResultBstr": "VT_BSTR", "kResultDispatch": "VT_DISPATCH"}


def table_rows(text):
    body = text.split("kApplicationMethods[] = {", 1)[1].split("\n};", 1)[0]
    rows = re.findall(r'\{"(\w+)", methods::\w+, ([\w |]+)\},', body)
    # Nothing in the table may escape the pattern above.
    assert len(rows) == body.count('{"'), "a table row the reading does not understand"
    return [(name, {KINDS[f.strip()] for f in flags.split("|")}) for name, flags in rows]


def reference_rows(text):
    rows = {}
    for line in text.splitlines():
        match = re.match(r"\| (\d+) \| `(\w+)` \|(.*)\|$", line)
        if not match:
            continue
        cells = match.group(3).split("|")
        result = cells[1] if len(cells) >= 3 else ""
        kinds = set(re.findall(r"VT_[A-Z0-9]+", result))
        if re.search(r"\bempty\b", result):
            kinds.add("empty")
        rows.setdefault(int(match.group(1)), []).append((match.group(2), kinds))
    return rows


class PageApiReference(unittest.TestCase):
    def test_every_method_in_table_order_with_the_result_its_row_names(self):
        table = table_rows(TABLE.read_text())
        reference = reference_rows(REFERENCE.read_text())
        self.assertEqual(88, len(table))
        self.assertEqual(list(range(1, len(table) + 1)), sorted(reference), "places missing or extra")
        for place, (name, kinds) in enumerate(table, start=1):
            entries = reference[place]
            self.assertEqual(1, len(entries), f"#{place} is described {len(entries)} times")
            self.assertEqual(name, entries[0][0], f"#{place}")
            self.assertEqual(kinds, entries[0][1], f"#{place} {name}: result kinds")


if __name__ == "__main__":
    sys.exit(0 if unittest.main(exit=False, verbosity=1).result.wasSuccessful() else 1)
