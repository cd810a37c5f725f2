// Sorelwick on a real desktop, measured from outside as a user meets it: key press → panel shown
// and pick → text changed over 30 presses in mousepad, key press → first step and digit → next
// step for a selected paragraph of 300 characters, resident memory after start-up and after the
// presses, and CPU time over idle seconds. Run inside the private desktop:
//   tests/desktop/session.sh build/bench/bench_DesktopBench [presses=30] [idle seconds=60]

#include "DesktopTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include <X11/X.h>

#include <algorithm>
#include <functional>
#include <thread>
#include <cstdio>

using namespace DesktopTest;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const QString kSentence = QStringLiteral("대한민국의 수도는 서울이다.");
constexpr int kListHeight = 100;
// 300 characters, about 25 steps.
const QString kParagraph = QStringLiteral(
    "정부는 국회에 내년도 예산안을 제출했다. 경제 성장률은 작년보다 낮아질 것으로 예상되며, 물가 상승과 금리 인상이 "
    "가계 부담을 늘리고 있다. 전문가들은 재정 지출의 효율성을 높이고 산업 구조를 개선해야 한다고 강조했다. 한편 지방 "
    "자치 단체들은 인구 감소에 대응하기 위해 교육과 의료 시설을 확충하는 계획을 발표했다. 시민 단체는 환경 보호와 지역 "
    "발전이 함께 이루어져야 한다는 의견을 제시했다. 대통령은 다음 주 국무 회의에서 이 문제를 논의할 예정이며, 관계 "
    "부처는 구체적인 대책을 마련하고 있다. 국민의 생활 안정이 중요한 과제다.");
constexpr int kStepsPerRound = 5;

double percentile(std::vector<double> values, double p)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p / 100.0 * double(values.size() - 1) + 0.5));
    return values[index];
}

// Checks every millisecond: the figures are a few tens of milliseconds, finer than the tests' polls.
bool pollFast(const std::function<bool()>& condition, std::chrono::milliseconds deadline)
{
    const auto end = Clock::now() + deadline;
    while (!condition())
        if (Clock::now() >= end) return false;
        else std::this_thread::sleep_for(1ms);
    return true;
}

double msSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

// The panel as it is on screen now (its window's place and pixels).
QImage panelPicture(pid_t pid)
{
    const auto panel = visibleWindow(pid, QStringLiteral("소렐"));
    return panel ? screenshot(panel->geometry) : QImage();
}

// One kB field of /proc/PID/status ("VmRSS"; "RssAnon" the process's own, "RssFile" mapped files
// such as the dictionary's pages).
std::optional<qint64> statusKiB(pid_t pid, const QByteArray& field)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(field + ':')) return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    return std::nullopt;
}
std::optional<qint64> residentKiB(pid_t pid) { return statusKiB(pid, "VmRSS"); }

// User and system CPU time from /proc/PID/stat (its fields after the command name's last ')').
std::optional<qint64> cpuMilliseconds(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return std::nullopt;
    return (fields[11].toLongLong() + fields[12].toLongLong()) * 1000 / sysconf(_SC_CLK_TCK);
}

int fail(const char* what)
{
    std::fprintf(stderr, "bench_DesktopBench: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int presses = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    if (!DesktopTest::insideDesktopSession())
        return fail("run me inside tests/desktop/session.sh");

    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/sorelwick");
    QDir().mkpath(config);
    QFile defaults(config + QStringLiteral("/defaults.json"));
    if (!defaults.open(QIODevice::WriteOnly)) return fail("cannot write the defaults");
    defaults.write(R"({"onboardingDone": true})");
    defaults.close();

    const auto started = Clock::now();
    auto sorelwick = LaunchedApp::start(QStringLiteral(SORELWICK_BIN_DIR "/sorelwick"), {});
    if (!sorelwick || !waitUntil([] { return keyGrabbedByOthers("h", ControlMask | Mod1Mask); }, 20s))
        return fail("Sorelwick did not start");
    const double startMs = msSince(started);
    const pid_t pid = sorelwick->pid();

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("text.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return fail("cannot write the text file");
    file.write(kSentence.toUtf8());
    file.close();
    auto editor = LaunchedApp::start(QStringLiteral("mousepad"), {QStringLiteral("--disable-server"), path});
    if (!editor || !waitUntil([&] { return applicationText(editor->pid()) == kSentence; }, 20s)
        || !editor->activate(10s))
        return fail("mousepad did not come up");
    // The dictionary loads in the background after start-up; resident memory is read once that
    // settles (the first lookup waits for it).
    const auto afterStart = residentKiB(pid);

    const QString expected = QStringLiteral("대한민국의 수도(首都)는 서울이다.");
    // Polled every millisecond: the text object is found once, so the probe costs a read, not a
    // search of the whole accessible tree that would load the desktop being measured.
    TextReader text(editor->pid());
    std::vector<double> toPanel, toText;
    int lateWrites = 0;
    for (int i = 0; i < presses; ++i) {
        // A write that lands after the text was seen changed (a replacement delivered twice)
        // shows up as text beside the reset one; it is counted, and the reset tried again.
        bool reset = false;
        for (int attempt = 0; attempt < 3 && !reset; ++attempt) {
            reset = setApplicationText(editor->pid(), kSentence)
                && waitUntil([&] { return applicationText(editor->pid()) == kSentence; }, 2s);
            if (!reset) ++lateWrites;
        }
        if (!reset || !selectText(editor->pid(), 6, 9)) {
            std::fprintf(stderr, "press %d: the text is \"%s\"\n", i + 1,
                         qPrintable(text.text().value_or(QString())));
            return fail("could not reset the text");
        }
        const auto press = Clock::now();
        pressChord(QStringLiteral("ctrl+alt+h"));
        // Shown with its rows: the loading header alone is far lower than a list of three.
        if (!pollFast([&] {
                const auto panel = visibleWindow(pid, QStringLiteral("소렐"));
                return panel && panel->geometry.height() >= kListHeight;
            }, 5s))
            return fail("no panel");
        toPanel.push_back(msSince(press));
        const auto pick = Clock::now();
        pressChord(QStringLiteral("1"));
        if (!pollFast([&] { return text.text() == expected; }, 5s)) {
            std::fprintf(stderr, "press %d: the text is \"%s\"\n", i + 1,
                         qPrintable(text.text().value_or(QString())));
            return fail("no replacement");
        }
        toText.push_back(msSince(pick));
        waitUntil([&] { return !visibleWindow(pid, QStringLiteral("소렐")).has_value(); }, 5s);
        // Sorelwick reads the text back 80 ms after its write to confirm it; a reset before that
        // looks to it like a write that did not take, and it pastes the replacement again.
        const auto written = Clock::now();
        waitUntil([&] { return msSince(written) >= 200; }, 1s);
    }
    // A paragraph: the first step's panel is the one a warm-up round settles on (the loading
    // line shows the same header, without rows); each further step is the panel's picture changing.
    if (!setApplicationText(editor->pid(), kParagraph)
        || !waitUntil([&] { return applicationText(editor->pid()) == kParagraph; }, 5s))
        return fail("could not set the paragraph");
    const auto selectParagraph = [&] { return selectText(editor->pid(), 0, int(kParagraph.size())); };
    const auto closePanel = [&] {
        pressChord(QStringLiteral("Escape"));
        return waitUntil([&] { return !visibleWindow(pid, QStringLiteral("소렐")).has_value(); }, 5s);
    };
    if (!selectParagraph()) return fail("could not select the paragraph");
    pressChord(QStringLiteral("ctrl+alt+h"));
    QImage settled;
    for (const auto end = Clock::now() + 5s; Clock::now() < end;) {
        std::this_thread::sleep_for(300ms);
        const QImage now = panelPicture(pid);
        if (!now.isNull() && now == settled) break;
        settled = now;
    }
    if (settled.isNull() || !closePanel()) return fail("no panel for the paragraph");
    std::vector<double> toFirstStep, toNextStep;
    for (int i = 0; i < presses; ++i) {
        if (!selectParagraph()) return fail("could not select the paragraph");
        const auto press = Clock::now();
        pressChord(QStringLiteral("ctrl+alt+h"));
        if (!pollFast([&] { return panelPicture(pid) == settled; }, 5s)) return fail("no first step");
        toFirstStep.push_back(msSince(press));
        QImage shown = settled;
        for (int step = 0; step < kStepsPerRound; ++step) {
            const auto pick = Clock::now();
            pressChord(QStringLiteral("1"));
            QImage next;
            if (!pollFast([&] {
                    next = panelPicture(pid);
                    return !next.isNull() && next != shown;
                }, 5s))
                return fail("no next step");
            toNextStep.push_back(msSince(pick));
            shown = next;
        }
        if (!closePanel()) return fail("the steps did not close");
        if (applicationText(editor->pid()) != kParagraph) return fail("the steps wrote after escape");
    }

    const auto afterLookups = residentKiB(pid);
    const auto anonymous = statusKiB(pid, "RssAnon");
    const auto files = statusKiB(pid, "RssFile");

    editor.reset();
    const auto cpuBefore = cpuMilliseconds(pid);
    const auto idleStart = Clock::now();
    // Idle means idle: nothing of ours runs meanwhile, we only wait for the time to pass.
    waitUntil([&] { return msSince(idleStart) >= idleSeconds * 1000.0; }, std::chrono::seconds(idleSeconds + 5));
    const auto cpuAfter = cpuMilliseconds(pid);

    std::printf("start-up (process start → shortcut registered): %.0f ms\n", startMs);
    std::printf("key press → panel shown   (%d presses): p50 %.1f ms, p95 %.1f ms (target p95 ≤ 50 ms)\n",
                presses, percentile(toPanel, 50), percentile(toPanel, 95));
    std::printf("pick → text changed       (%d picks):   p50 %.1f ms, p95 %.1f ms (target p95 ≤ 150 ms)\n",
                presses, percentile(toText, 50), percentile(toText, 95));
    std::printf("paragraph of %lld characters: key press → first step (%d presses): p50 %.1f ms, p95 %.1f ms "
                "(target p95 ≤ 50 ms)\n",
                static_cast<long long>(kParagraph.size()), presses, percentile(toFirstStep, 50), percentile(toFirstStep, 95));
    std::printf("  digit → next step shown   (%zu steps): p50 %.1f ms, p95 %.1f ms, max %.1f ms (target ≤ 16 ms)\n",
                toNextStep.size(), percentile(toNextStep, 50), percentile(toNextStep, 95), percentile(toNextStep, 100));
    if (lateWrites > 0) std::printf("late writes seen after a replacement: %d\n", lateWrites);
    std::printf("resident memory: %.1f MB after start-up, %.1f MB after %d lookups (target ≤ 60 MB)\n",
                double(afterStart.value_or(0)) / 1024.0, double(afterLookups.value_or(0)) / 1024.0, presses);
    std::printf("  of which after the lookups: %.1f MB the process's own, %.1f MB mapped files\n",
                double(anonymous.value_or(0)) / 1024.0, double(files.value_or(0)) / 1024.0);
    std::printf("CPU time over %d idle seconds: %lld ms (target 0)\n", idleSeconds,
                (long long)(cpuAfter.value_or(0) - cpuBefore.value_or(0)));
    return 0;
}
