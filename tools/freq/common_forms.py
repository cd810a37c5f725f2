#!/usr/bin/python3
"""Writes tools/freq/common_forms.txt: common noun + particle forms that must split back into
their noun (사고가 -> 사고 + 가), the fixed list bench_CandidateQualityBench checks.

- Nouns: the NOUNS most frequent Sino-Korean nouns of the NIKL learner list (part of speech 명,
  2 syllables or more, whose Hanja gloss is one of their hanja.txt spellings).
- Each noun with each of 이/가 은/는 을/를 의 에 에서 로/으로 와/과 도 만 까지 부터 처럼 보다 이다,
  in the form that the noun's last syllable takes.
- Kept only when Korean Wikipedia uses the form (it is in kowiki-eojeol-counts.tsv, 3 times or
  more): a common form, not an invented one.
- Left out when the text is really ambiguous because it is itself a word in everyday use
  (LEFT_OUT). Forms that only begin with such a word stay in (사회부터: 사회부 + 터 is no
  reading, 터 being no ending). Forms whose longer reading is a rare or mixed dictionary entry stay in:
  사고가 (思考家), 학교의 (學校醫), 사실은 (事實은) are what the table must get right."""

import argparse
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import freqlib  # noqa: E402

NOUNS = 300
PARTICLES = ("이/가", "은/는", "을/를", "의", "에", "에서", "로/으로", "와/과", "도", "만", "까지",
             "부터", "처럼", "보다", "이다")

# Judged by hand, by meaning: forms that are themselves a word in everyday use, so that the
# noun + particle reading is not the only natural one.
LEFT_OUT = {
    "정치가": "政治家", "연구가": "硏究家", "투자가": "投資家", "주제가": "主題歌", "최고가": "最高價",
    "정신과": "精神科", "신경과": "神經科", "교육과": "敎育科", "예술과": "藝術科", "과학과": "科學科",
    "연극과": "演劇科", "음악과": "音樂科", "가정과": "家政科", "가정의": "家庭醫", "전문의": "專門醫",
    "문학도": "文學徒", "과학도": "科學徒", "음악도": "音樂徒", "불교도": "佛敎徒", "지방도": "地方道",
    "자동차도": "自動車道", "경기도": "京畿道", "학년도": "學年度", "작년도": "昨年度", "자유도": "自由度",
    "관심도": "關心度", "인기도": "人氣度", "최고도": "最高度", "조직도": "組織圖", "경기만": "京畿灣",
    "통일로": "統一路", "역사가": "歷史家",
}


def final_consonant(syllable):
    return (ord(syllable) - 0xAC00) % 28


def attach(noun, particle):
    jong = final_consonant(noun[-1])
    if "/" not in particle:
        return noun + particle
    after_consonant, after_vowel = {
        "이/가": ("이", "가"), "은/는": ("은", "는"), "을/를": ("을", "를"),
        "와/과": ("과", "와"), "로/으로": ("으로", "로"),
    }[particle]
    if particle == "로/으로" and jong == 8:  # ㄹ takes 로: 서울로
        return noun + "로"
    return noun + (after_consonant if jong else after_vowel)


def common_nouns(rows, spellings, count):
    nouns, seen = [], set()
    for rank, word, pos, gloss, _level in sorted((r for r in rows if r[0]), key=lambda r: r[0]):
        if pos != "명" or len(word) < 2 or word in seen:
            continue
        if not re.fullmatch(r"[\u4e00-\u9fff]+", gloss) or gloss not in spellings.get(word, ()):
            continue
        seen.add(word)
        nouns.append(word)
        if len(nouns) == count:
            break
    return nouns


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--raw", default=freqlib.DEFAULT_RAW)
    ap.add_argument("--dict", default=freqlib.DEFAULT_HANJA_TXT)
    ap.add_argument("-o", "--output", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                           "common_forms.txt"))
    args = ap.parse_args()

    spellings = freqlib.spellings_by_word(freqlib.read_dictionary(args.dict))
    nouns = common_nouns(freqlib.read_learner_list(args.raw), spellings, NOUNS)
    eojeols = freqlib.read_eojeol_counts(args.raw)
    forms, left_out = [], 0
    for noun in nouns:
        for particle in PARTICLES:
            form = attach(noun, particle)
            if form not in eojeols:
                continue
            if form in LEFT_OUT:
                left_out += 1
                continue
            forms.append((form, noun))
    with open(args.output, "w", encoding="utf-8", newline="\n") as f:
        f.write("# form<TAB>noun: common noun + particle forms that must split back into their noun.\n")
        f.write("# Made by tools/freq/common_forms.py (see there for how they are chosen).\n")
        for form, noun in forms:
            f.write(f"{form}\t{noun}\n")
    print(f"{args.output}: {len(forms)} forms of {len(nouns)} nouns ({left_out} left out)")


if __name__ == "__main__":
    main()
