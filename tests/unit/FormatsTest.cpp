#include "base/Log.h"
#include "base/Notifier.h"
#include "core/MeaningLine.h"
#include "core/ReplacementFormat.h"
#include "core/WritingSettings.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using Format = ReplacementFormat::Format;
using Style = MeaningLine::Style;

TEST(FormatsTest, StoredValuesReadAsTheirCaseOrTheDefault)
{
    auto store = TestSupport::freshDefaults();
    store->setValue("format", "HanjaOnly");
    store->setValue("meaningStyle", 3);
    Log::Collector log;
    EXPECT_EQ(WritingSettings::format(), Format::hangulParenHanja) << "raw values are case-sensitive";
    EXPECT_EQ(WritingSettings::meaningStyle(), Style::gloss) << "a foreign type reads as the default";
    EXPECT_EQ(WritingSettings::format(), Format::hangulParenHanja);
    EXPECT_EQ(store->value("format").toString(), "HanjaOnly") << "a foreign value is not rewritten";
    // Said once each, not at every press.
    EXPECT_EQ(log.count("[Sorelwick] 설정 format에 알 수 없는 값 \"HanjaOnly\": 기본값을 씀"), 1);
    EXPECT_EQ(log.count("[Sorelwick] 설정 meaningStyle에 알 수 없는 값 \"3\": 기본값을 씀"), 1);

    store->setValue("format", "hanjaParenHangul");
    store->setValue("meaningStyle", "none");
    EXPECT_EQ(WritingSettings::format(), Format::hanjaParenHangul);
    EXPECT_EQ(WritingSettings::meaningStyle(), Style::none);
}

TEST(FormatsTest, EveryFormatWritePostsAndMeaningStyleWritesDoNot)
{
    auto store = TestSupport::freshDefaults();
    int posts = 0;
    const auto handle = Notifier::shared().observe("SorelwickFormatDidChange", [&] { ++posts; });
    WritingSettings::setFormat(Format::hanjaOnly);
    WritingSettings::setFormat(Format::hanjaOnly);
    WritingSettings::setMeaningStyle(Style::summary);
    Notifier::shared().remove(handle);
    WritingSettings::setFormat(Format::hanjaOnly);
    EXPECT_EQ(posts, 2);
    EXPECT_EQ(store->value("format").toString(), "hanjaOnly");
    EXPECT_EQ(store->value("meaningStyle").toString(), "summary");
}

TEST(FormatsTest, MeaningTextFallsBackAlongItsChain)
{
    TestSupport::DataDir dir;
    dir.write("hanja.tsv", "수\t首\t머리 수\n도\t都\t도읍 도\n수도\t首都\t나라의 서울\n수도\t手刀\t\n수도\t囚徒\t갇힌 무리\n");
    HanjaDictionary dict(dir.path());
    const HanjaEntry capital("수도", "首都", "나라의 서울");
    const HanjaEntry half("수도", "首徒", "");
    const HanjaEntry none("수도", "囚徒", "갇힌 무리");
    const QHash<QString, QString> model{{"首都", "나라의 중앙 도시"}, {"囚徒", ""}};

    EXPECT_EQ(MeaningLine::text(capital, Style::none, model, dict), "");
    EXPECT_EQ(MeaningLine::text(capital, Style::gloss, model, dict), "머리 수 · 도읍 도");
    EXPECT_EQ(MeaningLine::text(half, Style::gloss, model, dict), "머리 수") << "unknown characters are skipped";
    EXPECT_EQ(MeaningLine::text(none, Style::gloss, model, dict), "갇힌 무리") << "no gloss: the entry's meaning";
    EXPECT_EQ(MeaningLine::text(capital, Style::summary, model, dict), "나라의 중앙 도시");
    EXPECT_EQ(MeaningLine::text(none, Style::summary, model, dict), "갇힌 무리") << "an empty model meaning is passed over";
    EXPECT_EQ(MeaningLine::text(half, Style::summary, {}, dict), "머리 수");
}
