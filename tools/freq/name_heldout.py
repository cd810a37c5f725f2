#!/usr/bin/python3
"""A check of the name discount away from the development set: the single-spelling words of
the dictionary (annotated, 20 uses or more) are halved by a CRC-32 of the word; the annotated
shares of uses (of all words, and of names) are measured on one half, and on the other half each
word's uses as a stem are predicted from its annotations, with the one share for every word and
with the share by how much the word is a name (or reads as a person). Printed: the median error
of the prediction (by how many times it is off) over the half's words, over those that are
partly names and over those that read as persons.

    /usr/bin/python3 tools/freq/name_heldout.py        # about 40 s

Python 3 standard library only."""

import argparse
import math
import os
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import freqlib  # noqa: E402
import usage_table  # noqa: E402
from compound_heldout import half_of  # noqa: E402


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--raw", default=freqlib.DEFAULT_RAW)
    ap.add_argument("--dict", default=freqlib.DEFAULT_HANJA_TXT)
    args = ap.parse_args()

    spellings = freqlib.spellings_by_word(freqlib.read_dictionary(args.dict))
    ann = freqlib.read_annotation_counts(args.raw)
    stems = usage_table.train(usage_table.analyses(freqlib.read_eojeol_counts(args.raw), spellings)).stems
    shares, persons = usage_table.name_shares(spellings, ann), usage_table.person_names(spellings, ann)
    words = [K for K, lst in spellings.items() if len(K) >= 2 and len(lst) == 1
             and ann.get((K, lst[0]), 0) > 0 and stems.get(K, 0.0) >= 20]
    for half in (0, 1):
        rho, rho_name, rho_person = usage_table.annotation_rates(
            spellings, ann, stems, shares, {K for K in words if half_of(K) != half}, persons)
        errors = {"all": ([], []), "names in part": ([], []), "persons": ([], [])}
        for K in (K for K in words if half_of(K) == half):
            pair = (K, spellings[K][0])
            a, uses, share = ann[pair], stems[K], shares.get(pair, 0.0)
            rate = rho + max(0.0, rho_name - rho) * share
            rate = max(rate, rho_person) if pair in persons else rate
            plain, by_name = abs(math.log(a / rho / uses)), abs(math.log(a / rate / uses))
            groups = ["all"] + (["names in part"] if share > 0 else []) + (["persons"] if pair in persons else [])
            for group in groups:
                errors[group][0].append(plain)
                errors[group][1].append(by_name)
        print(f"half {half}: shares from the other half {rho:.5f}, names {rho_name:.5f}, persons {rho_person:.5f}")
        for group, (plain, by_name) in errors.items():
            print(f"  {group} ({len(plain)} words): median error x{math.exp(statistics.median(plain)):.3f} "
                  f"one share, x{math.exp(statistics.median(by_name)):.3f} by name")


if __name__ == "__main__":
    main()
