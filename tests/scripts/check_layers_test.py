#!/usr/bin/env python3
"""Which includes the layer check refuses, against the order the build declares today."""
import importlib.util
import pathlib
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "check-layers.py"
spec = importlib.util.spec_from_file_location("check_layers", SCRIPT)
check_layers = importlib.util.module_from_spec(spec)
spec.loader.exec_module(check_layers)

# File, its include line, whether the check refuses it.
ROWS = [
    ("bacnet/datalink/x.cpp", '#include "bacnet/network/network_main.h"', False),
    ("bacnet/datalink/x.cpp", "#include <bacnet/network/network_main.h>", False),
    ("bacnet/network/x.cpp", '#include "bacnet/datalink/datalink_port.h"', True),
    ("bacnet/network/x.cpp", "#include <bacnet/datalink/datalink_port.h>", True),
    ("bacnet/network/x.cpp", "#include <backend/stack_host.h>", True),
    ("bacnet/network/x.cpp", "#include <vector>", False),
    ("bacnet/foundation/x.h", "#include <pcap/pcap.h>", False),
    ("backend/api/x.cpp", '#include "bacnet/services/service_answers.h"', False),
    ("backend/x.cpp", '#include "gui/core/ini_file.h"', True),
    ("bacnet/value/x.h", "#include <gui/core/ini_file.h>", True),
    ("gui/core/x.cpp", '#include "gui/forms/frm_config.h"', True),
    ("gui/core/x.cpp", "#include <gui/forms/frm_config.h>", True),
    ("gui/core/x.cpp", '#include "../forms/frm_config.h"', True),
    ("gui/core/x.cpp", '#include "bacnet/foundation/driver.h"', True),
    ("gui/core/x.cpp", "#include <QtCore/QObject>", False),
    ("gui/forms/x.cpp", '#include "gui/core/ini_file.h"', False),
    ("gui/main.cpp", '#include "gui/forms/program_main.h"', False),
]


class CheckLayers(unittest.TestCase):
    def test_refuses_exactly_the_includes_that_point_up_or_across(self):
        reach = check_layers.declared_order()
        for path, line, refused in ROWS:
            with self.subTest(path=path, line=line):
                faults = check_layers.faults_in(pathlib.PurePath(path), line, reach)
                self.assertEqual(bool(faults), refused, faults)


if __name__ == "__main__":
    unittest.main()
