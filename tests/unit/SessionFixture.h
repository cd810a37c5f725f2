#pragma once

// A session on the fake platform: an editor, the dictionary below, the panel and the coordinator,
// with an optional scripted model. Shared by the session tests.
#include "base/Log.h"
#include "base/Notifier.h"
#include "core/CandidatePanel.h"
#include "core/Coordinator.h"
#include "core/LanguageModels.h"
#include "support/FakeLanguageModel.h"
#include "support/FakePlatform.h"

#include "TestSupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

constexpr quint16 kDigit1 = 18, kDigit2 = 19;
const QString kUserClipboard = QStringLiteral("USER CLIPBOARD");

bool spinUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 20000; ++i) {
        if (done()) return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return done();
}


struct SessionFixture : ::testing::Test {
    std::shared_ptr<FakePlatform> fake = FakePlatform::install();
    std::shared_ptr<MemoryDefaultsStore> defaults = TestSupport::freshDefaults();
    TestSupport::DataDir data;
    std::unique_ptr<HanjaDictionary> dictionary;
    std::shared_ptr<FakeLanguageModel> model;
    Coordinator& coordinator = Coordinator::shared();
    CandidatePanel& panel = CandidatePanel::shared();
    int replacedPosts = 0;
    Notifier::Handle observer = Notifier::shared().observe(Notifications::didReplace, [this] { ++replacedPosts; });

    SessionFixture()
    {
        data.write("hanja.tsv", "수도\t修道\n수도\t首都\n수도\t水道\n수도\t囚徒\n수\t首\t머리 수\n도\t都\t도읍 도\n");
        data.write("hanja_freq.tsv", "수도\t首都\t100\n수도\t水道\t50\n");
        dictionary = std::make_unique<HanjaDictionary>(data.path());
        coordinator.dictionary = dictionary.get();
        LanguageModels::setShared(nullptr);
        panel.dismiss();
    }
    ~SessionFixture() override
    {
        spinUntil([this] { return !coordinator.busy; });
        Notifier::shared().remove(observer);
        coordinator.dictionary = &HanjaDictionary::shared();
        LanguageModels::setShared(nullptr);
    }

    // Reloads the dictionary from the data folder as written since.
    void reloadDictionary()
    {
        dictionary = std::make_unique<HanjaDictionary>(data.path());
        coordinator.dictionary = dictionary.get();
    }

    // 부과계수: compounds the dictionary lacks, spelled from its words, offered before the stem's rows.
    void useCompoundOfParts()
    {
        data.write("hanja.tsv", "부과\t賦課\n부과\t副果\n계수\t係數\n계수\t計數\n수도\t首都\n수\t首\t머리 수\n도\t都\t도읍 도\n");
        data.write("hanja_freq.tsv", "부과\t賦課\t10\n계수\t係數\t10\n");
        data.write("known_endings.tsv", "를\t100\t10\n");
        data.write("compound_parts.tsv", "부과\t賦課\t10\n");
        reloadDictionary();
    }

    void useModel()
    {
        model = std::make_shared<FakeLanguageModel>();
        LanguageModels::setShared(model);
    }
    bool listShown() { return panel.isVisible() && panel.model().interactive(); }
    // A shortcut press that brings up a list; one run to its end (a notice, or nothing).
    bool pressShowsList()
    {
        coordinator.trigger();
        return spinUntil([&] { return listShown(); });
    }
    bool pressSettles()
    {
        coordinator.trigger();
        return spinUntil([&] { return !coordinator.busy; });
    }
    // The spellings offered (the row that spells a word one character at a time left out).
    QStringList primaries()
    {
        QStringList out;
        for (const Candidate& c : panel.model().items())
            if (c.kind != CandidateKind::compose) out.append(c.primary);
        return out;
    }
    std::optional<bool> press(quint16 key, quint64 flags = 0) { return fake->panelWindow->pressKey(key, flags); }
    // Lets virtual time run on by ms, whatever is scheduled meanwhile.
    void settle(qint64 ms)
    {
        const qint64 until = fake->clock->monotonicMs() + ms;
        fake->clock->at(until, [] {});
        spinUntil([&] { return fake->clock->monotonicMs() >= until; });
    }
    // An application without accessible text (so the clipboard carries both ways), in front of
    // a clipboard another program owns.
    std::shared_ptr<MemoryApplication> clipboardOnlyEditor(const QString& text, TextRange selection)
    {
        auto editor = fake->openEditor(text, selection);
        editor->hasAccessibleFocus = false;
        fake->pasteboard->writeStringFromOtherProgram(kUserClipboard);
        fake->pasteboard->owner = 777;
        return editor;
    }
    bool noticeShown(const QString& text) { return panel.isVisible() && panel.isNotice() && panel.model().header() == text; }
};

} // namespace
