#!/usr/bin/python3
"""Checks of seen_compounds.py on small made-up inputs. Python 3 standard library only:
    /usr/bin/python3 -m unittest discover -s tools/freq -p 'test_*.py'"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import seen_compounds as sc  # noqa: E402

SPELLINGS = {"이동": ["移動"], "이상": ["以上"], "일본": ["日本"], "국민": ["國民"], "부과": ["賦課"], "이순신": ["李舜臣"]}
ENDINGS = ["의", "은", "는", "이", "군", "보다", "다", "한", "한다"]


class SeenCompoundsTest(unittest.TestCase):
    def table(self, ann, eojeols, threshold=0.8):
        return sc.seen_compounds(SPELLINGS, ann, eojeols, ENDINGS, threshold)

    def test_every_annotated_compound_is_kept_once_seen(self):
        ann = {("부과계수", "賦課係數"): 1, ("부과계수", "附過係數"): 3, ("김수한", "金守漢"): 1}
        table, left_out = self.table(ann, {})
        self.assertEqual(table, ann)
        self.assertEqual(left_out, 0)

    def test_dictionary_words_short_words_and_other_lengths_are_no_seen_compounds(self):
        ann = {("이순신", "李舜臣"): 56, ("부과", "賦課"): 9, ("부과계수", "賦課係"): 2, ("부과a수", "賦課a數"): 2}
        self.assertEqual(self.table(ann, {})[0], {})

    def test_a_word_and_its_ending_in_running_text_leaves_the_compound_out(self):
        ann = {("이상의", "李尙毅"): 8, ("일본군", "日本軍"): 8}
        # 이상의 stands bare: 이상 + 의; 일본군 is followed by endings as nouns are.
        eojeols = {"이상의": 12651, "이상의이": 6, "일본군": 1727, "일본군의": 2000, "일본군은": 2035}
        table, left_out = self.table(ann, eojeols)
        self.assertEqual(table, {("일본군", "日本軍"): 8})
        self.assertEqual(left_out, 1)
        # Its annotated occurrences stand bare too, yet are the compound's: 1 bare use left, 2 followed.
        self.assertEqual(self.table({("일본군", "日本郡"): 3}, {"일본군": 4, "일본군의": 2})[0], {("일본군", "日本郡"): 3})

    def test_a_verb_form_that_runs_on_counts_for_the_dictionary_word(self):
        ann = {("이동한", "李東漢"): 1, ("일본군", "日本軍"): 1}
        # 이동한다 is 이동 + 한다, though 이동한 + 다 reads too; 일본군 + 의 is no verb form.
        eojeols = {"이동한": 372, "이동한다": 900, "일본군": 1727, "일본군의": 2000, "일본군은": 2035}
        table, left_out = self.table(ann, eojeols)
        self.assertEqual(table, {("일본군", "日本軍"): 1})
        self.assertEqual(left_out, 1)

    def test_a_word_used_as_a_stem_is_no_compound(self):
        ann = {("지나가", "支那街"): 1, ("부과계수", "賦課係數"): 1}
        # 지나가고, 지나가며: a verb's stem; 부과계수에, 부과계수는: a noun's.
        eojeols = {"지나가고": 300, "지나가며": 135, "지나가의": 3, "부과계수에": 3, "부과계수고": 3, "부과계수를": 4}
        table, left_out = self.table(ann, eojeols)
        self.assertEqual(table, {("부과계수", "賦課係數"): 1})
        self.assertEqual(left_out, 1)

    def test_a_rest_that_begins_an_ending_is_weighed_with_the_ending_it_completes(self):
        ann = {("국민보", "國民報"): 1}
        # 국민보다 reads 국민 + 보다; only 국민보의 is the compound's own.
        self.assertEqual(self.table(ann, {"국민보다": 500, "국민보의": 3})[0], {})
        self.assertEqual(self.table(ann, {"국민보다": 3, "국민보의": 40})[0], ann)

    def test_no_evidence_in_running_text_keeps_the_compound(self):
        ann = {("이상의", "李尙毅"): 1}
        self.assertEqual(self.table(ann, {})[0], ann)

    def test_a_word_that_also_reads_as_a_dictionary_word_and_an_ending_gets_its_stem_share(self):
        words = {"국민보", "부과계수", "이순신"}
        # 국민보다 is mostly 국민 + 보다: 국민 is used far more, and 보다 follows other nouns too.
        eojeols = {"국민": 900, "국민의": 600, "국민보다": 40, "국민보": 20, "국민보의": 6,
                   "일본": 3000, "일본의": 3000, "일본는": 1000, "일본보다": 50, "부과계수를": 5}
        shares = sc.stem_shares(SPELLINGS, words, eojeols, ENDINGS)
        # 계수 begins no ending and 이순신 starts with no dictionary word: each reads one way.
        self.assertEqual(set(shares), {"국민보"})
        self.assertGreater(shares["국민보"], 0)
        self.assertLess(shares["국민보"], 100_000)
        self.assertEqual(sc.stem_shares(SPELLINGS, {"부과계수"}, eojeols, ENDINGS), {})
        # The more running text uses the word itself, the larger its share.
        eojeols.update({"국민보의": 600, "국민보는": 300})
        self.assertGreater(sc.stem_shares(SPELLINGS, words, eojeols, ENDINGS)["국민보"], 10 * shares["국민보"])

    def test_the_rates_are_uses_after_nouns_per_bare_use(self):
        eojeols = {"국민": 10, "국민의": 20, "국민은": 10, "국민의이": 3}
        r_noun, r_ending = sc.rates(eojeols, {"국민"}, ENDINGS)
        self.assertAlmostEqual(r_noun, 30 / 10)
        self.assertAlmostEqual(r_ending, 3 / 30)


if __name__ == "__main__":
    unittest.main()
