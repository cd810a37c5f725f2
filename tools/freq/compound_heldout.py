#!/usr/bin/python3
"""A check of the compound parts away from the development set: the annotated words of 3+
syllables that the dictionary lacks are halved (by a CRC-32 of the word); for each half, the parts
table is counted from the other half's annotations, and the half's words are written as rows the
quality bench reads (the word as its own context: nothing after it).

    /usr/bin/python3 tools/freq/compound_heldout.py OUT        # about 40 s
    build/bench/bench_CandidateQualityBench --dev OUT/words0.tsv --parts OUT/parts0.tsv
    build/bench/bench_CandidateQualityBench --dev OUT/words1.tsv --parts OUT/parts1.tsv

The bench's compound lines are the figures (its other figures have no rows here). With --no-place
the tables count a part wherever it stands, as before the last part was counted apart.

Python 3 standard library only."""

import argparse
import os
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import freqlib  # noqa: E402
import usage_table  # noqa: E402


def half_of(word):
    return zlib.crc32(word.encode("utf-8")) & 1


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("out", help="folder for words0.tsv, words1.tsv, parts0.tsv, parts1.tsv")
    ap.add_argument("--raw", default=freqlib.DEFAULT_RAW)
    ap.add_argument("--dict", default=freqlib.DEFAULT_HANJA_TXT)
    ap.add_argument("--no-place", action="store_true", help="count a part wherever it stands")
    args = ap.parse_args()

    spellings = freqlib.spellings_by_word(freqlib.read_dictionary(args.dict))
    learner_rows = freqlib.read_learner_list(args.raw)
    ann = freqlib.read_annotation_counts(args.raw)
    # The annotated share of uses, as the committed table has it (from the dictionary's words).
    model = usage_table.train(usage_table.analyses(freqlib.read_eojeol_counts(args.raw), spellings))
    cal = usage_table.Calibration(spellings, ann, learner_rows, model.stems)

    os.makedirs(args.out, exist_ok=True)
    for half in (0, 1):
        train = {pair: a for pair, a in ann.items() if half_of(pair[0]) != half}
        parts = usage_table.compound_parts(spellings, train, cal, by_place=not args.no_place)
        parts = {k: tuple(round(x, 1) for x in v) if isinstance(v, tuple) else round(v, 1) for k, v in parts.items()}
        freqlib.write_table(os.path.join(args.out, f"parts{half}.tsv"),
                            [f"compound parts from the annotated words of half {1 - half}"], parts)
        rows = sorted((K, H) for (K, H) in ann if half_of(K) == half and len(K) >= 3 and len(K) == len(H)
                      and K not in spellings)
        with open(os.path.join(args.out, f"words{half}.tsv"), "w", encoding="utf-8", newline="\n") as f:
            f.write("hangul\thanja\tcontext\n")
            for K, H in rows:
                f.write(f"{K}\t{H}\t{K}\n")
        print(f"half {half}: {len(rows)} words, {len(parts)} parts from the other half")


if __name__ == "__main__":
    main()
