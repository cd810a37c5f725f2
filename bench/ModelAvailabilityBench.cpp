// What the model availability check costs on a machine without a model server: the check runs
// before every ranking, so with nothing listening it must stay far below what a user notices.
// Prints the first (cold) check and the median, 95th percentile and worst of many more.

#include "core/LanguageModels.h"
#include "base/Defaults.h"
#include "core/RankEngine.h"
#include "support/MemoryDefaultsStore.h"
#include "platform/model/OpenAiCompatibleModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Figures {
    double first = 0;
    std::vector<double> rest;
};

template <typename Check>
Figures measure(Check check, int runs)
{
    Figures f;
    QElapsedTimer timer;
    for (int i = 0; i <= runs; ++i) {
        timer.start();
        const bool available = check();
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (available) std::printf("  (a model server answered: these are not no-server figures)\n");
        if (i == 0)
            f.first = ms;
        else
            f.rest.push_back(ms);
    }
    std::sort(f.rest.begin(), f.rest.end());
    return f;
}

void print(const char* label, const Figures& f)
{
    const auto at = [&](double q) { return f.rest[std::min(f.rest.size() - 1, size_t(q * double(f.rest.size())))]; };
    std::printf("%-48s first %6.2f ms   median %6.3f ms   p95 %6.3f ms   max %6.3f ms   (%zu runs)\n", label, f.first,
                at(0.5), at(0.95), f.rest.back(), f.rest.size());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    auto defaults = std::make_shared<MemoryDefaultsStore>();
    Defaults::setShared(defaults);
    const int runs = 300;

    // The default settings: 127.0.0.1:11434, then 127.0.0.1:8080.
    auto model = std::make_shared<OpenAiCompatibleModel>();
    LanguageModels::setShared(model);
    print("isAvailable(), default endpoints (2 tries)",
          measure([&] { return QCoro::waitFor(model->isAvailable()); }, runs));
    print("engineInForce(), default endpoints",
          measure([&] { return QCoro::waitFor(engineInForce()) == RankEngine::model; }, runs));

    // One configured endpoint on a port known to be closed.
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    defaults->setValue(QStringLiteral("modelEndpoint"), QStringLiteral("http://127.0.0.1:%1/v1").arg(port));
    auto fresh = std::make_shared<OpenAiCompatibleModel>();
    print("isAvailable(), one closed endpoint",
          measure([&] { return QCoro::waitFor(fresh->isAvailable()); }, runs));

    // No model installed at all.
    LanguageModels::setShared(nullptr);
    print("engineInForce(), no model installed",
          measure([&] { return QCoro::waitFor(engineInForce()) == RankEngine::model; }, runs));
    std::printf("target: with nothing listening, a check costs 5 ms or less\n");
    return 0;
}
