#pragma once

#include "platform/LanguageModel.h"

#include <qcoro/qcorotask.h>

#include <memory>

// The engine in force: the local model when one answers, else the frequency order.
enum class RankEngine { frequency, model };

// Evaluated afresh at each use: asks the shared model whether it is available.
QCoro::Task<RankEngine> engineInForce();
// The same question, answered with the model itself (null: frequency). A session asks it once
// and hands the answer on, so everything it shows follows one decision.
QCoro::Task<std::shared_ptr<LanguageModel>> availableModel();
