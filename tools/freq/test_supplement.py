#!/usr/bin/python3
"""Checks of supplement.py on a small made-up dictionary:
    /usr/bin/python3 -m unittest discover -s tools/freq -p 'test_*.py'"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import supplement as su  # noqa: E402


class SupplementTest(unittest.TestCase):
    SPELLINGS = {"해": ["解", "海"], "촉": ["囑", "觸"], "로": ["勞", "路"], "노": ["奴"], "동": ["動", "東"],
                 "낙": ["諾"], "수": ["受"], "주": ["州", "周"], "유": ["劉"], "표": ["表"], "개": ["改"],
                 "임": ["任"], "고": ["苦"], "노동": ["勞動"], "해주": ["海州"]}

    def test_what_enters_and_what_stays_out(self):
        ann = {("해촉", "解囑"): 209, ("해촉", "解觸"): 2,  # a new word, and its rarer spelling
               ("개임", "改任"): 1,                        # one writer's only
               ("노동", "勞動"): 5,                        # hanja.txt has it
               ("노동", "路動"): 3,                        # another spelling of a word hanja.txt has: a statute term
               ("노고", "勞苦"): 3,                        # the initial-sound rule: 로 written 노
               ("수락", "受諾"): 4,                        # 낙 written 락 inside a word
               ("해촉", "海囑"): 0,
               ("동주", "東州"): 7,                        # a place: its last character a name suffix
               ("유표", "劉表"): 9,                        # a surname first
               ("해동", "解東"): 3}                        # 동's spellings hold 東, 해's 解
        pairs, per_source = su.supplement(self.SPELLINGS, {"statutes": ann, "wikipedia": {("개임", "改任"): 1, ("노동", "奴動"): 3}},
                                          set(), {})
        # Wikipedia's other spellings of hanja.txt's words are mostly names: left out.
        self.assertEqual(pairs, {("해촉", "解囑"): 209, ("해촉", "解觸"): 2, ("노고", "勞苦"): 3,
                                 ("수락", "受諾"): 4, ("해동", "解東"): 3, ("노동", "路動"): 3})
        self.assertEqual(per_source, {"statutes": 6, "wikipedia": 0})

    def test_the_reading_check(self):
        chars = {k: set(v) for k, v in self.SPELLINGS.items() if len(k) == 1}
        for hangul, hanja, reads in (("노동", "勞動", True), ("노동", "奴動", True), ("동노", "動勞", False),
                                     ("수락", "受諾", True), ("해촉", "海表", False)):
            self.assertEqual(su.reads_as(hangul, hanja, chars), reads, (hangul, hanja))


if __name__ == "__main__":
    unittest.main()
