# SPDX-License-Identifier: MIT
# The Python binding against the stand-in: listing, capture, events, tables and errors.
import ctypes
import os
import threading
from typing import Any

import numpy
import pytest

import kovavantorquadrelv3 as kova
from kovavantorquadrelv3 import _header
from conftest import SENSOR, SERIAL

SCENARIOS = os.environ.get("KOVA_SCENARIOS", "")


def test_records_have_the_headers_sizes() -> None:
    for record, size in _header.SIZES.items():
        assert ctypes.sizeof(getattr(kova, "_" + record.replace("Kova", ""))) == size, record


def test_every_method_against_one_scanner(stand_in: Any) -> None:
    events = []
    with kova.Library(log_level=3, on_event=lambda *event: events.append(event)) as lib:
        assert lib.scanners() == [SENSOR]
        with lib.open(SENSOR) as scanner:
            assert not scanner.dirty
            info = scanner.info()
            assert (info.manufacturer, info.model, info.serial_number) == ("CELDRA", "QUADRELV3", "5A1C0042")
            caps = scanner.capabilities(0)
            assert (caps.width, caps.height, caps.resolution) == (1600, 1500, 500)
            assert len(caps.words) == 14
            scanner.set_parameter(2, 20)
            assert scanner.parameter(2) == 20
            scanner.lamps = kova.Lamps(zone_words=(1,) + (0,) * 9)
            assert scanner.lamps.zone_words[0] == 1
            assert stand_in.vqsim_lamp_state(SENSOR.encode(), 2) == 1
            scanner.buzzer(1)
            gain, offset = scanner.uniformity_tables()
            assert gain.shape == offset.shape == kova.FRAME_SHAPE and gain.dtype == numpy.uint16
            assert gain.any() and offset.any()
            frames = list(scanner.frames(3))
            assert len(frames) == 3 and all(f.shape == kova.FRAME_SHAPE for f in frames)


def test_frames_are_copies_intact_after_their_callback(stand_in: Any) -> None:
    with kova.Library() as lib, lib.open(SENSOR) as scanner:
        frames = list(scanner.frames(4))
        kept = [frame.copy() for frame in frames]
        # More capture reuses the library's buffers; the frames already taken stay as they were.
        list(scanner.frames(4))
        for frame, copy in zip(frames, kept):
            assert numpy.array_equal(frame, copy)
        assert not numpy.array_equal(frames[0], frames[1]), "each frame is its own image"


def test_errors_carry_the_code_and_the_librarys_text(stand_in: Any) -> None:
    with kova.Library() as lib:
        with pytest.raises(kova.KovaError) as refused:
            lib.open("QV3-9999")
        assert refused.value.code == 9005 and refused.value.text == kova.status_text(9005)
        assert refused.value.text == "Device Unavail "
        stand_in.vqsim_fail(b"get_sensor_list", 4, 1)
        with pytest.raises(kova.KovaError):
            lib.scanners()
        with lib.open(SENSOR) as scanner:
            with pytest.raises(kova.KovaError) as refused:
                scanner.set_parameter(2, 1000)  # analog gain is 1 to 64
            with pytest.raises(ValueError):
                scanner.lamps = kova.Lamps(zone_words=(1, 2))
    assert kova.status_text(0) is None and kova.status_text(9101) == "Not Initialized"


def test_a_raising_callback_stays_in_python(stand_in: Any, capfd: Any) -> None:
    called = threading.Event()

    def on_event(kind: int, serial: str, state: int) -> None:
        called.set()
        raise RuntimeError("from the application")

    with kova.Library(on_event=on_event) as lib, lib.open(SENSOR):
        stand_in.vqsim_unplug(SENSOR.encode(), 0)
        assert called.wait(60)
    # Terminate has waited for the callback, and so for its report.
    assert "a callback raised RuntimeError('from the application')" in capfd.readouterr().err


def test_unplug_during_events_then_close_ends_them(stand_in: Any) -> None:
    seen = []
    with kova.Library(on_event=lambda kind, serial, state: seen.append((serial, state))) as lib:
        scanner = lib.open(SENSOR)
        stand_in.vqsim_unplug(SENSOR.encode(), 60000)
        codes = []
        for status in scanner.events():
            codes.append(status.code)
            if status.code in (9005, 9110):
                scanner.close()  # the iteration ends with the close
        assert codes[-1] in (9005, 9110)
    # The status was woken inside the notification's delivery, which terminate waits for.
    assert (SERIAL, 0) in seen
    stand_in.vqsim_reset()
    stand_in.vqsim_add_sensor(b"QV3-0002", b"QV3-2")
    # Closing ends a wait on the events of a scanner the library still had open.
    with kova.Library() as lib:
        scanner = lib.open("QV3-0002")
        ended = threading.Event()

        def drain() -> None:
            list(scanner.events())
            ended.set()

        watcher = threading.Thread(target=drain)
        watcher.start()
    watcher.join()
    assert ended.is_set()


def test_a_dirty_scanner_opens_and_still_delivers(stand_in: Any) -> None:
    stand_in.vqsim_set_dirty(SENSOR.encode(), 1)
    with kova.Library() as lib, lib.open(SENSOR) as scanner:
        assert scanner.dirty
        assert len(list(scanner.frames(2))) == 2


@pytest.mark.skipif(not SCENARIOS, reason="KOVA_SCENARIOS names the shipped scenarios")
def test_a_broken_scanner_is_restarted_by_the_status_wait(stand_in: Any) -> None:
    stand_in.vqsim_use_scenario(os.path.join(SCENARIOS, "broken-scanner.json").encode())
    with kova.Library() as lib, lib.open(SENSOR) as scanner:
        statuses = []
        started = threading.Event()

        def watch() -> None:
            events = scanner.events()
            started.set()
            for status in events:
                statuses.append(status.code)
                if status.code == 9005:
                    return

        watcher = threading.Thread(target=watch)
        watcher.start()
        started.wait()
        frames = list(scanner.frames(3, timeout=60))  # only after the restart
        watcher.join()
        assert statuses[-1] == 9005 and len(frames) == 3
