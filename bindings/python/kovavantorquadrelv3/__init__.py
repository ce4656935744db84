# SPDX-License-Identifier: MIT
"""The QUADRELV3 live-scan scanner from Python: kovavantorquadrelv3's C interface through ctypes.

    import kovavantorquadrelv3 as kova
    with kova.Library(log_level=3) as lib:
        with lib.open(lib.scanners()[0]) as scanner:
            for frame in scanner.frames(10):
                print(frame.mean())

A failed call raises KovaError. Frames and tables are numpy arrays of uint16, 1500 rows of 1600,
copied out of the library's buffers before the call that handed them over returns.
"""

import ctypes
import os
import queue
import sys
import threading
from dataclasses import dataclass
from typing import Any, Callable, Iterator, List, Optional, Tuple

import numpy

from ._header import TEXTS, VERSION as __version__

__all__ = ["Library", "Scanner", "KovaError", "DeviceInfo", "Capabilities", "Lamps", "Status",
           "status_text", "library_loaded", "FRAME_SHAPE", "__version__"]

OK = 0
DIRTY_DEVICE = 9020
NOT_INITIALIZED = 9101
FRAME_SHAPE = (1500, 1600)
_FRAME_BYTES = FRAME_SHAPE[0] * FRAME_SHAPE[1] * 2
_TABLE_ENTRIES = FRAME_SHAPE[0] * FRAME_SHAPE[1]
_MAX_SCANNERS = 64


def status_text(code: int) -> Optional[str]:
    """The library's text for a status code (kova_status_text), or None."""
    return TEXTS.get(code)


class KovaError(Exception):
    """A call that did not answer 0: .code is its status, .text the library's text for it."""

    def __init__(self, operation: str, code: int):
        self.operation = operation
        self.code = code
        self.text = status_text(code)
        super().__init__(f"{operation} answered {code}" + (f" ({self.text.strip()})" if self.text else ""))


# The C records, as the header lays them out (the tests compare their sizes with it).
class _DeviceEntry(ctypes.Structure):
    _fields_ = [("device_type", ctypes.c_uint32), ("sensor_id", ctypes.c_char * 256)]


class _DeviceInfo(ctypes.Structure):
    _fields_ = [("manufacturer", ctypes.c_char * 8), ("model", ctypes.c_char * 16),
                ("serial_number", ctypes.c_char * 16), ("descriptor_code", ctypes.c_char * 12)]


class _Capabilities(ctypes.Structure):
    _fields_ = [("word", ctypes.c_uint32 * 14)]


class _DevUIRecord(ctypes.Structure):
    _fields_ = [("zone_word", ctypes.c_uint32 * 10), ("lamp3_word", ctypes.c_uint32),
                ("lamp5_word", ctypes.c_uint32), ("side_lamp_word", ctypes.c_uint32)]


_Status = ctypes.c_uint32  # an unsigned long of 32 bits on Windows, uint32_t elsewhere
_NotificationCallback = ctypes.CFUNCTYPE(None, ctypes.c_int32, ctypes.c_char_p, ctypes.c_int32)
_CaptureCallback = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_void_p)
_Table = ctypes.POINTER(ctypes.c_uint16)


def _copy_frame(pixels: int) -> numpy.ndarray:
    """A frame of the library's, copied into an array of its own (one block copy)."""
    frame = numpy.empty(FRAME_SHAPE, dtype=numpy.uint16)
    ctypes.memmove(frame.ctypes.data, pixels, _FRAME_BYTES)
    return frame


def _field(raw: bytes) -> str:
    """A NUL-padded text field, which carries no terminator when full."""
    return raw.split(b"\0", 1)[0].decode("latin-1")


@dataclass(frozen=True)
class DeviceInfo:
    manufacturer: str
    model: str
    serial_number: str
    descriptor_code: str


@dataclass(frozen=True)
class Capabilities:
    width: int
    height: int
    resolution: int
    half_width: int
    half_height: int
    words: Tuple[int, ...]  # all fourteen, as the library answers them


@dataclass(frozen=True)
class Lamps:
    """The lamp words of the library's user-interface record."""
    zone_words: Tuple[int, ...] = (0,) * 10
    lamp3_word: int = 0
    lamp5_word: int = 0
    side_lamp_word: int = 0


@dataclass(frozen=True)
class Status:
    """What KovaGetStatus answered: 0 (woken), 9005 (unplugged, asleep, broken or a capture fault),
    or the code of a failed device-library call (9110: the scanner was unplugged)."""
    code: int

    @property
    def text(self) -> Optional[str]:
        return status_text(self.code)


_LIBRARY_NAME = "kovavantorquadrelv3.dll" if sys.platform == "win32" else "libkovavantorquadrelv3.so.1"
_loaded = False  # the system's library, and so the device library it found, is in the process


def library_loaded() -> bool:
    """Whether the system's library was loaded; from then on the device library in use is fixed."""
    return _loaded


def _library_path(path: Optional[str]) -> str:
    """The library asked for, else KOVA_LIBRARY, else the one a wheel carries, else the system's."""
    if path:
        return path
    if os.environ.get("KOVA_LIBRARY"):
        return os.environ["KOVA_LIBRARY"]
    bundled = os.path.join(os.path.dirname(os.path.abspath(__file__)), _LIBRARY_NAME)
    return bundled if os.path.exists(bundled) else _LIBRARY_NAME


def _load(path: Optional[str] = None) -> ctypes.CDLL:
    global _loaded
    name = _library_path(path)
    try:
        dll = ctypes.CDLL(name)
    except OSError as error:
        raise OSError(f"{name} could not be loaded ({error}). It needs the scanner maker's device library "
                      "(VQUAD) where the system finds libraries, or the stand-in: install "
                      "kovavantorquadrelv3[standin] and call kovavantorquadrelv3_standin.activate() first") from error
    _loaded = True
    u32, p = ctypes.c_uint32, ctypes.POINTER
    signatures = {
        "KovaInitialize_N": (_NotificationCallback, ctypes.c_uint, ctypes.c_int),
        "KovaTerminate": (),
        "KovaGetDeviceList_N": (p(u32), p(_DeviceEntry)),
        "KovaOpenDevice_N": (ctypes.c_char_p, ctypes.c_void_p, p(u32)),
        "KovaCloseDevice_N": (u32,),
        "KovaGetStatus": (u32,),
        "KovaVantorStartVideo": (ctypes.c_uint,),
        "KovaStopVideo": (ctypes.c_uint,),
        "KovaRegisterQuadV3CaptureCallback": (ctypes.c_uint, _CaptureCallback, ctypes.c_void_p),
        "KovaUnRegisterQuadV3CaptureCallback": (),
        "KovaVantorGetDeviceInfo": (u32, p(_DeviceInfo)),
        "KovaVantorGetCapabilities": (u32, u32, p(_Capabilities)),
        "KovaVantorQuadrelGetParameters": (u32, ctypes.c_uint8, p(u32)),
        "KovaVantorQuadrelSetParameters": (u32, ctypes.c_uint8, u32),
        "KovaVantorGetDevUI": (ctypes.c_uint, p(_DevUIRecord)),
        "KovaVantorSetDevUI": (ctypes.c_uint, p(_DevUIRecord)),
        "KovaVantorSetBuzzer": (ctypes.c_uint, ctypes.c_uint),
        "KovaVantorQuadrelReadUniformityBuffers": (u32, p(_Table), p(_Table)),
        "KovaQuadV3FreeUniformityBuffers": (u32, p(_Table), p(_Table)),
    }
    for name, arguments in signatures.items():
        function = getattr(dll, name)
        function.argtypes = list(arguments)
        function.restype = _Status
    return dll


def _checked(operation: str, code: int, also_fine: Tuple[int, ...] = ()) -> int:
    if code != OK and code not in also_fine:
        raise KovaError(operation, code)
    return code


class Library:
    """The library, initialised: KovaInitialize_N on entry (or construction), KovaTerminate on exit.

    on_event(kind, serial_number, state) is called on the device library's threads for every plug
    and power event; whatever it raises is reported and goes no further."""

    def __init__(self, log_level: int = 3, on_event: Optional[Callable[[int, str, int], None]] = None,
                 max_log_size: int = 0, library_path: Optional[str] = None):
        self._dll = _load(library_path)
        self._on_event = on_event
        # Held for as long as the library may call it: until terminate has returned.
        self._notification = (_NotificationCallback(self._notified) if on_event
                              else _NotificationCallback())  # type: ignore[call-overload]
        self._scanners: List["Scanner"] = []
        self._lock = threading.Lock()
        _checked("KovaInitialize_N", self._dll.KovaInitialize_N(self._notification, log_level, max_log_size))
        self._open = True

    def _notified(self, kind: int, serial_number: bytes, state: int) -> None:
        try:
            assert self._on_event is not None
            self._on_event(kind, (serial_number or b"").decode("latin-1"), state)
        except BaseException as error:  # never into the library's thread
            _report(error)

    def __enter__(self) -> "Library":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def close(self) -> None:
        """Closes the scanners still open and terminates the library."""
        with self._lock:
            if not self._open:
                return
            self._open = False
            scanners, self._scanners = self._scanners, []
        for scanner in scanners:
            scanner.close()
        self._dll.KovaTerminate()

    def scanners(self) -> List[str]:
        """The sensor ids of the attached scanners, in the library's order."""
        entries = (_DeviceEntry * _MAX_SCANNERS)()
        count = ctypes.c_uint32(_MAX_SCANNERS)
        _checked("KovaGetDeviceList_N", self._dll.KovaGetDeviceList_N(ctypes.byref(count), entries))
        return [_field(entries[i].sensor_id) for i in range(min(count.value, _MAX_SCANNERS))]

    def open(self, sensor_id: str) -> "Scanner":
        handle = ctypes.c_uint32()
        code = _checked("KovaOpenDevice_N", self._dll.KovaOpenDevice_N(
            sensor_id.encode("latin-1"), None, ctypes.byref(handle)), also_fine=(DIRTY_DEVICE,))
        scanner = Scanner(self, handle.value, sensor_id, dirty=code == DIRTY_DEVICE)
        with self._lock:
            self._scanners.append(scanner)
        return scanner

    def _forget(self, scanner: "Scanner") -> None:
        with self._lock:
            if scanner in self._scanners:
                self._scanners.remove(scanner)


def _report(error: BaseException) -> None:
    try:
        print(f"kovavantorquadrelv3: a callback raised {error!r}; ignored", file=sys.stderr)
    except BaseException:
        pass


class Scanner:
    """An open scanner: KovaOpenDevice_N ... KovaCloseDevice_N. dirty is True when the open answered
    9020 (opened, but the scanner reports itself dirty)."""

    def __init__(self, library: Library, handle: int, sensor_id: str, dirty: bool):
        self._library = library
        self._dll = library._dll
        self.handle = handle
        self.sensor_id = sensor_id
        self.dirty = dirty
        self._closed = threading.Event()
        self._capture_callback: Optional[Any] = None  # held while the library may call it
        self._status_thread: Optional[threading.Thread] = None

    def __enter__(self) -> "Scanner":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def close(self) -> None:
        if self._closed.is_set():
            return
        self._closed.set()
        self._dll.KovaCloseDevice_N(self.handle)  # also wakes a status wait on it
        if self._status_thread is not None and self._status_thread is not threading.current_thread():
            self._status_thread.join()
        self._library._forget(self)

    def info(self) -> DeviceInfo:
        raw = _DeviceInfo()
        _checked("KovaVantorGetDeviceInfo", self._dll.KovaVantorGetDeviceInfo(self.handle, ctypes.byref(raw)))
        return DeviceInfo(_field(raw.manufacturer), _field(raw.model), _field(raw.serial_number),
                          _field(raw.descriptor_code))

    def capabilities(self, capture_type: int) -> Capabilities:
        raw = _Capabilities()
        _checked("KovaVantorGetCapabilities",
                 self._dll.KovaVantorGetCapabilities(self.handle, capture_type, ctypes.byref(raw)))
        w = tuple(raw.word)
        return Capabilities(width=w[3], height=w[4], resolution=w[2], half_width=w[5], half_height=w[6], words=w)

    def parameter(self, parameter_id: int) -> int:
        value = ctypes.c_uint32()
        _checked("KovaVantorQuadrelGetParameters",
                 self._dll.KovaVantorQuadrelGetParameters(self.handle, parameter_id, ctypes.byref(value)))
        return value.value

    def set_parameter(self, parameter_id: int, value: int) -> None:
        _checked("KovaVantorQuadrelSetParameters",
                 self._dll.KovaVantorQuadrelSetParameters(self.handle, parameter_id, value))

    @property
    def lamps(self) -> Lamps:
        raw = _DevUIRecord()
        _checked("KovaVantorGetDevUI", self._dll.KovaVantorGetDevUI(self.handle, ctypes.byref(raw)))
        return Lamps(tuple(raw.zone_word), raw.lamp3_word, raw.lamp5_word, raw.side_lamp_word)

    @lamps.setter
    def lamps(self, lamps: Lamps) -> None:
        if len(lamps.zone_words) != 10:
            raise ValueError("a Lamps record has ten zone words")
        raw = _DevUIRecord((ctypes.c_uint32 * 10)(*lamps.zone_words), lamps.lamp3_word, lamps.lamp5_word,
                           lamps.side_lamp_word)
        _checked("KovaVantorSetDevUI", self._dll.KovaVantorSetDevUI(self.handle, ctypes.byref(raw)))

    def buzzer(self, pattern: int) -> None:
        _checked("KovaVantorSetBuzzer", self._dll.KovaVantorSetBuzzer(self.handle, pattern))

    def uniformity_tables(self) -> Tuple[numpy.ndarray, numpy.ndarray]:
        """The gain and offset tables, copied; the library's own buffers are released at once."""
        gain, offset = _Table(), _Table()
        _checked("KovaVantorQuadrelReadUniformityBuffers", self._dll.KovaVantorQuadrelReadUniformityBuffers(
            self.handle, ctypes.byref(gain), ctypes.byref(offset)))
        try:
            gain_table, offset_table = (numpy.ctypeslib.as_array(table, shape=(_TABLE_ENTRIES,)).reshape(FRAME_SHAPE).copy()
                                        for table in (gain, offset))
            return gain_table, offset_table
        finally:
            self._dll.KovaQuadV3FreeUniformityBuffers(self.handle, ctypes.byref(gain), ctypes.byref(offset))

    def frames(self, count: int, timeout: float = 10.0) -> Iterator[numpy.ndarray]:
        """Captures count frames, each copied during the callback that delivered it. Raises
        TimeoutError when no frame comes for timeout seconds; capture stops when the loop ends."""
        delivered: "queue.Queue[numpy.ndarray]" = queue.Queue()
        wanted = [count]

        def on_frame(pixels: int, _context: int) -> None:
            try:
                if wanted[0] <= 0 or not pixels:
                    return
                wanted[0] -= 1
                delivered.put(_copy_frame(pixels))
            except BaseException as error:  # never into the library's thread
                _report(error)

        self._capture_callback = _CaptureCallback(on_frame)
        _checked("KovaRegisterQuadV3CaptureCallback",
                 self._dll.KovaRegisterQuadV3CaptureCallback(self.handle, self._capture_callback, None))
        try:
            _checked("KovaVantorStartVideo", self._dll.KovaVantorStartVideo(self.handle))
            try:
                for _ in range(count):
                    try:
                        yield delivered.get(timeout=timeout)
                    except queue.Empty:
                        raise TimeoutError(f"no frame from {self.sensor_id} for {timeout} s") from None
            finally:
                # Once stopped, the callback has returned and no other comes.
                self._dll.KovaStopVideo(self.handle)
        finally:
            self._dll.KovaUnRegisterQuadV3CaptureCallback()
            self._capture_callback = None

    def events(self) -> Iterator[Status]:
        """Device events of this scanner as KovaGetStatus reports them, waited for on a thread of
        their own; the iteration ends when the scanner is closed or the library terminated."""
        if self._status_thread is not None:
            raise RuntimeError("one events() iteration per scanner at a time")
        statuses: "queue.Queue[Optional[Status]]" = queue.Queue()

        def wait() -> None:
            while not self._closed.is_set():
                code = self._dll.KovaGetStatus(self.handle)
                if self._closed.is_set() or code == NOT_INITIALIZED:
                    break
                statuses.put(Status(code))
            statuses.put(None)

        self._status_thread = threading.Thread(target=wait, name=f"kova-status-{self.sensor_id}", daemon=True)
        self._status_thread.start()
        try:
            while True:
                status = statuses.get()
                if status is None:
                    return
                yield status
        finally:
            if self._closed.is_set() and self._status_thread is not threading.current_thread():
                self._status_thread.join()
            self._status_thread = None
