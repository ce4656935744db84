# SPDX-License-Identifier: MIT
# Every test starts from a stand-in with one scanner and a log folder of its own. KOVA_LIBRARY and
# KOVA_STANDIN name the library and the stand-in it loads (ctest sets both).
import ctypes
import os
from typing import Any, Iterator

import pytest

SENSOR = "QV3-0001"
SERIAL = "QV3-5A1C0042"


def _stand_in() -> ctypes.CDLL:
    stand_in = ctypes.CDLL(os.environ["KOVA_STANDIN"])
    stand_in.vqsim_add_sensor.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    stand_in.vqsim_unplug.argtypes = [ctypes.c_char_p, ctypes.c_uint]
    stand_in.vqsim_set_dirty.argtypes = [ctypes.c_char_p, ctypes.c_int]
    stand_in.vqsim_use_scenario.argtypes = [ctypes.c_char_p]
    stand_in.vqsim_fail.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_int]
    stand_in.vqsim_lamp_state.argtypes = [ctypes.c_char_p, ctypes.c_int]
    stand_in.vqsim_set_frame_interval_us.argtypes = [ctypes.c_uint]
    return stand_in


STAND_IN = _stand_in()


@pytest.fixture
def stand_in(tmp_path: Any, monkeypatch: Any) -> Iterator[ctypes.CDLL]:
    monkeypatch.setenv("PROGRAMDATA", str(tmp_path))
    STAND_IN.vqsim_reset()
    STAND_IN.vqsim_add_sensor(SENSOR.encode(), SERIAL.encode())
    STAND_IN.vqsim_set_frame_interval_us(2000)
    yield STAND_IN
    STAND_IN.vqsim_reset()
