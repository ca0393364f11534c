// The timer switch of the configuration program: enabling a timer that runs already leaves
// it alone, so a timer switched on again keeps its phase instead of starting over.
#pragma once

#include <QTimer>

namespace timers {

inline void EnableTimer(QTimer* timer)
{
  if (timer && !timer->isActive())
    timer->start();
}

}  // namespace timers
