"""The board's configuration as the service reads it from streams.ini, with
the configuration library's rules: whole-line comments (';' or '#'), blanks
around names and values dropped, a double-quoted value keeps what is between
the quotes, names compared exactly, the last value of a key wins."""

import os
import re


def parse(text):
    """(section, key) -> value of an INI text."""
    values = {}
    section = ""
    for raw in text.split("\n"):
        line = raw.strip(" \t\r\v\f")
        if not line or line[0] in ";#":
            continue
        if line[0] == "[":
            close = line.find("]")
            if close >= 0:
                section = line[1:close].strip(" \t\r\v\f")
            continue
        equals = line.find("=")
        if equals <= 0:
            continue
        key = line[:equals].strip(" \t\r\v\f")
        value = line[equals + 1:].strip(" \t\r\v\f")
        if len(value) >= 2 and value[0] == '"' and value[-1] == '"':
            value = value[1:-1]
        values[(section, key)] = value
    return values


def get_int(values, section, key, default):
    """A decimal integer within int's range, else the default."""
    text = values.get((section, key))
    if text is None or not re.fullmatch(r"[+-]?[0-9]+", text):
        return default
    number = int(text)
    return number if -2**31 <= number < 2**31 else default


def get_str(values, section, key, default, size):
    """A string cut to `size` bytes with the terminator, as the library cuts
    it, and ended at a NUL byte, where the service's C string ends. The text
    was read as latin-1, one character a byte: the result names the service's
    very bytes as a path (a deviceid in CP1251 or UTF-8 alike), where the
    latin-1 characters would be written as UTF-8 instead."""
    text = values.get((section, key))
    if text is None:
        return default
    return os.fsdecode(text.encode("latin-1")[:size - 1].split(b"\0")[0])


class Settings:
    """What the runner must prepare for the service: where it keeps the
    journals, which storage mount points it archives to, and its device id."""

    def __init__(self, text):
        values = parse(text) if text is not None else None
        if values is None:
            # No file: the service's own defaults.
            self.net_base = "/mnt/usb/"
            self.mount_points = []
            self.device_id = "unknown"
            return
        self.device_id = get_str(values, "common", "deviceid", "unknown", 64)
        if get_int(values, "net_base", "use_local_storage", 1) != 0:
            self.net_base = get_str(values, "savermgr", "maindirlink", "", 4096)
        else:
            self.net_base = get_str(values, "net_base", "mountdir", "/mnt/usb/", 4096)
        self.mount_points = []
        for section in ("disc0", "disc1", "usbdisc"):
            if get_int(values, section, "ON", 0) != 0:
                point = get_str(values, section, "mountpoint", "", 4096)
                if point:
                    self.mount_points.append(point)
