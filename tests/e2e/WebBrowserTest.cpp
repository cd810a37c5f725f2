// Firefox, where most text is written: a text field of a web page, its selection read over the
// accessibility bus. Firefox accepts the accessibility write and keeps its text, so the pick is
// pasted; the user's clipboard comes back afterwards.

#include "EndToEndFixture.h"

namespace {

using namespace E2eTest;

// A page whose text field holds the sentence with a word selected; the window's title mirrors
// the field ("field:" and its text), which is how the test reads it.
struct BrowserPage {
    QTemporaryDir dir;
    std::unique_ptr<LaunchedApp> program;

    bool open(const QString& text, const QString& selected)
    {
        const QString page = dir.filePath(QStringLiteral("page.html"));
        const QString profile = dir.filePath(QStringLiteral("profile"));
        // A profile of its own: no first-run pages, no other Firefox to hand the page to.
        if (!writeFile(page, QStringLiteral("<!doctype html><meta charset=utf-8><title>page</title>"
                                            "<textarea id=t rows=4 cols=40>%1</textarea><script>"
                                            "const t = document.getElementById('t'); t.focus();"
                                            "const at = t.value.indexOf('%2'); t.setSelectionRange(at, at + %3);"
                                            "setInterval(() => { document.title = 'field:' + t.value; }, 50);</script>")
                                 .arg(text, selected)
                                 .arg(selected.size())
                                 .toUtf8())
            || !writeFile(profile + QStringLiteral("/user.js"),
                          "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
                          "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
                          "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
                          "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
                          "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n"))
            return false;
        program = LaunchedApp::start(QStringLiteral("env"), {QStringLiteral("-u"), QStringLiteral("MOZ_HEADLESS"),
                                                             QStringLiteral("firefox-esr"), QStringLiteral("--no-remote"),
                                                             QStringLiteral("--profile"), profile, page});
        return program && waitUntil([&] { return field() == text; }, 60s) && program->activate(10s);
    }

    // The field's text, from the window title (absent until the page runs).
    std::optional<QString> field() const
    {
        for (const DesktopTest::Window& window : visibleWindows(program->pid())) {
            const qsizetype at = window.name.indexOf(QStringLiteral("field:"));
            if (at < 0) continue;
            const qsizetype end = window.name.lastIndexOf(QStringLiteral(" — "));
            return window.name.mid(at + 6, end > at ? end - at - 6 : -1);
        }
        return std::nullopt;
    }
};

class WebBrowser : public EndToEnd {};

TEST_F(WebBrowser, APickInAFirefoxTextFieldIsPastedAndTheClipboardComesBack)
{
    BrowserPage page;
    ASSERT_TRUE(page.open(kSentence, QStringLiteral("수도는"))) << "Firefox did not show the page";
    ClipboardHolder holder;
    ASSERT_TRUE(holder.start()) << "the clipboard holder did not take the clipboard";
    // Firefox comes onto the accessibility bus once something asks for it, which may take a while.
    ASSERT_TRUE(page.program->waitForAccessible(30s));
    ASSERT_TRUE(shortcutShowsList()) << "no panel after Ctrl+Alt+H";
    saveShot(QStringLiteral("panel-over-firefox.png"));
    EXPECT_TRUE(picks([&] { return page.field().value_or(QStringLiteral("<no title>")); }));
    EXPECT_TRUE(waitUntil([&] { return holder.isBack(); }, 5s));
    EXPECT_TRUE(panelGone());
}

} // namespace
