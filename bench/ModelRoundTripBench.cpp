// The model client's round trip against a real llama-server on the generated test model: one
// structured ranking request (availability check, chat request, answer parsed) at a time, 50 times.
// Needs SORELWICK_LLAMA_SERVER (tests/model/build-llama-server prints the path). Prints the
// model's size and the median, 90th percentile and worst round trip.

#include "../tests/model/LlamaServer.h"

#include "base/Defaults.h"
#include "core/Ranker.h"
#include "support/MemoryDefaultsStore.h"
#include "platform/model/OpenAiCompatibleModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    auto defaults = std::make_shared<MemoryDefaultsStore>();
    Defaults::setShared(defaults);
    LlamaServer server(QStringLiteral(R"({"indices":[2,0],"reason":"문맥상 죄수.","meanings":["죄수","서울"]})"));
    if (!server.ready()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.failure()));
        return 1;
    }
    defaults->setValue("modelEndpoint", server.endpoint());
    OpenAiCompatibleModel model;
    const int runs = 50;
    std::vector<double> ms;
    QElapsedTimer timer;
    for (int i = 0; i <= runs; ++i) {
        timer.start();
        // As a press does it: the availability check, then the request to the server it found.
        if (!QCoro::waitFor(model.isAvailable())) {
            std::fprintf(stderr, "the server is not available\n");
            return 1;
        }
        const auto answer = QCoro::waitFor(model.respondStructured(QStringLiteral("당신은 한국어 한자 병기 전문가입니다."),
                                                                   QStringLiteral("문맥:\n감옥의 수도\n\n단어: 수도"),
                                                                   Ranker::Pick::schema()));
        const double took = double(timer.nsecsElapsed()) / 1e6;
        if (!answer.ok()) {
            std::fprintf(stderr, "request failed: %s\n", qPrintable(answer.error()));
            return 1;
        }
        if (i > 0) ms.push_back(took); // the first warms the server up
    }
    std::sort(ms.begin(), ms.end());
    std::printf("llama-server round trip (model %lld bytes): median %.1f ms   p90 %.1f ms   max %.1f ms   (%d requests)\n",
                server.modelBytes(), ms[ms.size() / 2], ms[size_t(0.9 * double(ms.size()))], ms.back(), runs);
    return 0;
}
