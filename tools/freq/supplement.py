#!/usr/bin/python3
"""Writes data/hanja_supplement.tsv: words libhangul's hanja.txt lacks that writers annotate often
enough, as dictionary entries (해촉 解囑, 209 times in statutes; 개임 改任), with their annotations.

A pair (Hangul word, Hanja spelling) of two syllables or more is taken when
- its word has two syllables (longer new words are the seen compounds' and the compound parts')
  and is no key of hanja.txt, or the pair comes from the statutes (이권 利券, 전원 轉院). Wikipedia's
  other spellings of hanja.txt's words are left out: scored by their annotations alone, mostly
  names (敬仲, 綏和), they went before the everyday spelling (輕重, 手話) and cost 12 statute rows at
  top-1 while fixing 4. The statutes' are left unscored by usage_table.py, after the word's own;
- each Hanja reads as its syllable by the one-character entries of hanja.txt, the initial-sound
  rule allowed at the start (ㄹ → ㄴ/ㅇ, ㄴ → ㅇ: 노동 勞動) and ㄴ → ㄹ anywhere (허락 許諾);
- writers annotated it MIN_ANNOTATIONS times or more in one source (Korean statutes, Korean
  Wikipedia): one writer's spelling is no word yet;
- it does not look like a name: a person's (a common surname and given-name characters, as
  usage_table.py reads them), a place's, a building's or a title's (its last character a name
  suffix: 晉州, 佛國寺, 仁宗's 宗 and 祖 too), or a spelling whose annotated longer words mostly end
  in one (usage_table.py's name share, 0.5 or more).

Output: hangul<TAB>hanja<TAB>annotations (both sources), sorted by Hangul in code point order, a
word's spellings most annotated first (then code point order), UTF-8, LF. The build adds them to
the dictionary after hanja.txt's entries; usage_table.py reads them as dictionary entries, so the
frequency table scores them from their annotations like any other spelling."""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import freqlib  # noqa: E402
import usage_table as ut  # noqa: E402

MIN_ANNOTATIONS = 2
MIN_SYLLABLES = 2
# Kings' temple names end in these (仁宗, 宣祖), besides the suffixes usage_table.py counts.
KING_SUFFIXES = frozenset("宗祖")
NAME_SHARE = 0.5
# The sources whose other spellings of hanja.txt's words are taken too.
OTHER_SPELLINGS_FROM = frozenset({"statutes"})
# The surnames of usage_table.py, and those of the Chinese histories Wikipedia annotates most.
SURNAMES = ut.SURNAMES | frozenset("袁董曹荀諸葛司馬夏侯蔣鄧苻")

JAMO_L = "ㄱㄲㄴㄷㄸㄹㅁㅂㅃㅅㅆㅇㅈㅉㅊㅋㅌㅍㅎ"


def with_initial(syllable, initial):
    code = ord(syllable) - 0xAC00
    return chr(0xAC00 + JAMO_L.index(initial) * 588 + code % 588)


def initial_of(syllable):
    return JAMO_L[(ord(syllable) - 0xAC00) // 588]


def readings(syllable, first):
    """The dictionary readings a written syllable may stand for."""
    out = {syllable}
    lead = initial_of(syllable)
    if first and lead in "ㄴㅇ":
        out.add(with_initial(syllable, "ㄹ"))
    if first and lead == "ㅇ":
        out.add(with_initial(syllable, "ㄴ"))
    if lead == "ㄹ":
        out.add(with_initial(syllable, "ㄴ"))
    return out


def reads_as(hangul, hanja, characters):
    return len(hangul) == len(hanja) and all(
        any(h in characters.get(r, ()) for r in readings(k, i == 0)) for i, (k, h) in enumerate(zip(hangul, hanja)))


def is_hangul(text):
    return all("\uac00" <= c <= "\ud7a3" for c in text)


def supplement(spellings, sources, persons, shares):
    """sources: {name: {(hangul, hanja): annotations}}. Returns {(hangul, hanja): annotations}, and
    how many pairs each source gives alone (a pair both give counts for both)."""
    characters = {}
    for K, lst in spellings.items():
        if len(K) == 1:
            characters.setdefault(K, set()).update(lst)
    taken, per_source = {}, {name: 0 for name in sources}
    for name, ann in sources.items():
        for (K, H), a in ann.items():
            if a < MIN_ANNOTATIONS or len(K) < MIN_SYLLABLES or len(K) != len(H) or not is_hangul(K):
                continue
            # New words, and other spellings of hanja.txt's words from the statutes (이권 利券, 전원
            # 轉院): Wikipedia's are mostly names (경중 敬仲, 수화 綏和). They follow the word's own
            # spellings: usage_table.py leaves them unscored, since annotations of a rarer reading
            # alone would put it first (항간 港間 over 巷間).
            if len(K) > 2 or (K in spellings and (name not in OTHER_SPELLINGS_FROM or H in spellings[K])):
                continue
            if (K, H) in persons or H[-1] in ut.NAME_SUFFIXES or H[-1] in KING_SUFFIXES:
                continue
            # A spelling of two syllables that begins with a surname is mostly a person (劉表, 孫策).
            if len(K) == 2 and H[0] in SURNAMES:
                continue
            if shares.get((K, H), 0.0) >= NAME_SHARE or not reads_as(K, H, characters):
                continue
            per_source[name] += 1
            taken[(K, H)] = 0
    for pair in taken:
        taken[pair] = sum(ann.get(pair, 0) for ann in sources.values())
    return taken, per_source


def write(path, comments, pairs):
    rows = sorted(pairs.items(), key=lambda x: (x[0][0], -x[1], x[0][1]))
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        for c in comments:
            f.write(f"# {c}\n")
        for (K, H), a in rows:
            f.write(f"{K}\t{H}\t{a}\n")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--raw", default=freqlib.DEFAULT_RAW, help="folder of the raw sources (default: ../shared/data/raw)")
    ap.add_argument("--dict", default=freqlib.DEFAULT_HANJA_TXT, help="libhangul hanja.txt")
    ap.add_argument("-o", "--output", default=os.path.join(freqlib.REPO, "data", freqlib.SUPPLEMENT_FILE))
    args = ap.parse_args()
    spellings = freqlib.spellings_by_word(freqlib.read_dictionary(args.dict))
    wiki = freqlib.read_annotation_counts(args.raw)
    statutes = freqlib.read_statute_annotation_counts(args.raw)
    both = freqlib.mixed(wiki, statutes, 1)
    persons = ut.person_names_of(spellings, both, [k for k in both if len(k[0]) in (2, 3)])
    shares = ut.name_shares(spellings, both)
    pairs, per_source = supplement(spellings, {"statutes": statutes, "wikipedia": wiki}, persons, shares)
    write(args.output, [
        "hangul<TAB>hanja<TAB>annotations: words hanja.txt lacks that writers annotate, in Korean "
        "statutes and Korean Wikipedia (2020); made by tools/freq/supplement.py",
        freqlib.STATUTE_CREDIT,
        freqlib.KOWIKI_CREDIT,
    ], pairs)
    print(f"supplement: {args.output}: {len(pairs)} pairs, {len({k for k, _ in pairs})} words; "
          + ", ".join(f"{n} from {name}" for name, n in per_source.items()), file=sys.stderr)


if __name__ == "__main__":
    main()
