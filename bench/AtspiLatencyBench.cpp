// Capture and replacement latency through AT-SPI against mousepad (GTK 3) and the Qt test editor.
// Runs inside the desktop session:
//   tests/desktop/session.sh build/bench/bench_AtspiLatencyBench [runs]
// capture = application(pid) → focused element → selected text, range, value, bounds;
// replacement = write the selected text, then read the value back (the replacer's check).

#include "DesktopTestSupport.h"

#include "platform/atspi/AtspiAccessibility.h"
#include "platform/x11/QtScreens.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Workspace.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace DesktopTest;

namespace {

double percentile(std::vector<double> samples, double p)
{
    std::sort(samples.begin(), samples.end());
    const size_t index = std::min(samples.size() - 1, size_t(p * double(samples.size() - 1) + 0.5));
    return samples[index];
}

void report(const char* editor, const char* what, const std::vector<double>& ms)
{
    std::printf("%-9s %-12s n=%zu  p50 %6.2f ms  p95 %6.2f ms  max %6.2f ms\n", editor, what, ms.size(),
                percentile(ms, 0.5), percentile(ms, 0.95), *std::max_element(ms.begin(), ms.end()));
}

const QString text = QStringLiteral("대한민국의 수도는 서울이다. 😀 이 문장의 수도를 한자로 바꾼다.\n둘째 줄도 있다.");
constexpr TextRange word{25, 2}; // the second 수도, after the emoji

bool measure(AtspiAccessibility& ax, const char* name, LaunchedApp& app, int runs)
{
    if (!app.waitForWindow() || !app.activate() || !app.waitForAccessible()) {
        std::fprintf(stderr, "%s did not come up\n", name);
        return false;
    }
    auto focused = [&]() -> AXElementRef {
        AXElementRef application = ax.application(app.pid());
        if (!application) return nullptr;
        return AX::as<AXElementRef>(ax.copyAttributeValue(application, Accessibility::focusedUIElementAttribute))
            .value_or(nullptr);
    };
    if (!waitUntil([&] { return focused() != nullptr; }, 5s)) {
        std::fprintf(stderr, "%s: no focused text element\n", name);
        return false;
    }
    AXElementRef element = focused();
    if (ax.setAttributeValue(element, Accessibility::selectedTextRangeAttribute, AXValue(word)) != AXError::success) {
        std::fprintf(stderr, "%s: cannot select\n", name);
        return false;
    }
    std::vector<double> capture, replacement;
    QElapsedTimer clock;
    for (int i = 0; i < runs; ++i) {
        clock.start();
        AXElementRef e = focused();
        const bool ok = e && ax.copyAttributeValue(e, Accessibility::selectedTextAttribute).ok()
            && ax.copyAttributeValue(e, Accessibility::selectedTextRangeAttribute).ok()
            && ax.copyAttributeValue(e, Accessibility::valueAttribute).ok()
            && ax.copyParameterizedAttributeValue(e, Accessibility::boundsForRangeParameterizedAttribute, AXValue(word))
                   .ok();
        capture.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (!ok) {
            std::fprintf(stderr, "%s: capture failed in run %d\n", name, i);
            return false;
        }
    }
    for (int i = 0; i < runs; ++i) {
        const QString next = i % 2 ? QStringLiteral("수도") : QStringLiteral("首都");
        ax.setAttributeValue(element, Accessibility::selectedTextRangeAttribute, AXValue(word));
        clock.start();
        const bool ok = ax.setAttributeValue(element, Accessibility::selectedTextAttribute, AXValue(next)) == AXError::success
            && AX::as<QString>(ax.copyAttributeValue(element, Accessibility::valueAttribute)).has_value();
        replacement.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (!ok) {
            std::fprintf(stderr, "%s: replacement failed in run %d\n", name, i);
            return false;
        }
    }
    report(name, "capture", capture);
    report(name, "replacement", replacement);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (!insideDesktopSession()) {
        std::fprintf(stderr, "Run inside the desktop: tests/desktop/session.sh %s\n", argv[0]);
        return 2;
    }
    QApplication qapp(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    // The program's own screens and workspace: bounds take the editor's scale from its window.
    AtspiAccessibility ax(std::make_shared<QtScreens>(), std::make_shared<X11Workspace>(X11Connection::open()));
    bool ok = true;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("text.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0) return 1;
    file.close();
    if (auto mousepad = LaunchedApp::start(QStringLiteral("mousepad"), {path})) ok &= measure(ax, "mousepad", *mousepad, runs);
    else ok = false;

    if (auto editor = LaunchedApp::start(testEditorPath(), {QStringLiteral("--text"), text}))
        ok &= measure(ax, "qt-editor", *editor, runs);
    else ok = false;
    return ok ? 0 : 1;
}
