// The start of every case of the programs that run against the simulated Modbus unit of the
// end-to-end tests (the master alone, and the configuration window): they run only where
// ZOR17_MODBUS_LIVE says the unit is there, each case from a fresh program folder with the
// decimal comma the unit's values are checked in. The fixture is the form tests' FormFixture.
#pragma once

#include "gui/core/program_state.h"

#include <QtTest>

// False, with the case skipped, outside the end-to-end tests.
template <class Fixture>
bool start_modbus_live_case(Fixture& fx)
{
  if (qEnvironmentVariableIsEmpty("ZOR17_MODBUS_LIVE")) {
    QTest::qSkip("runs against the Modbus slave of the end-to-end tests", __FILE__, __LINE__);
    return false;
  }
  fx.start();
  global::DecimalSeparator = ",";
  return true;
}
