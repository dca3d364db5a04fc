#!/usr/bin/env python3
"""parked_car.py JOURNAL NUMBER OWNER MINUTES: appends to the occupancy
journal (netnumbase.tpn) a car that entered MINUTES ago and is still inside,
as the entry barrier's service would have recorded it. The demo starts with
such a car, so that its overstay shows at any speed: the service keeps real
time, which the demo's --fast does not speed up."""

import struct
import sys
import time

# number[13], owner[32] (CP1251), places (signed byte), 2 reserved bytes,
# in_time and out_time (signed 32-bit), little-endian: 56 bytes.
RECORD = struct.Struct("<13s32sb2xii")
assert RECORD.size == 56


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    path, number, owner, minutes = argv
    number_bytes, owner_bytes = number.encode("ascii"), owner.encode("cp1251")
    if len(number_bytes) > 12 or len(owner_bytes) > 31:
        print("parked_car.py: the number takes at most 12 bytes, the owner 31", file=sys.stderr)
        return 2
    entered = int(time.time()) - int(float(minutes) * 60)
    with open(path, "ab") as journal:
        journal.write(RECORD.pack(number_bytes, owner_bytes, 1, entered, 0))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
