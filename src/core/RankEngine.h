#pragma once

#include "platform/LanguageModel.h"

#include <QString>

#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

// The engine in force: the local model when one answers, else the frequency order.
enum class RankEngine { frequency, model };

// Evaluated afresh at each use: asks the shared model whether it is available.
QCoro::Task<RankEngine> engineInForce();
// The same question, answered with the model itself (null: frequency). A session asks it once
// and hands the answer on, so everything it shows follows one decision. Every answer is kept
// and announced (engineDidAnswer), so that what shows the engine follows the model server.
QCoro::Task<std::shared_ptr<LanguageModel>> availableModel();
// Posted on the default notifier after every answer.
inline const QString engineDidAnswer = QStringLiteral("SorelwickEngineDidAnswer");
// The last answer, absent before the first.
std::optional<RankEngine> lastEngineAnswer();
