#pragma once

#include <qcoro/qcorotask.h>

// The engine in force: the local model when one answers, else the frequency order.
enum class RankEngine { frequency, model };

// Evaluated afresh at each use: asks the shared model whether it is available.
QCoro::Task<RankEngine> engineInForce();
