"""Another process that owns a rule database while veltrix reads it.

Usage: python3 db_owner.py hold DIR    holds DIR open with plyvel
       python3 db_owner.py lock DIR    holds only DIR/LOCK's lock, as LevelDB takes it
       python3 db_owner.py write DIR   keeps committing write batches (see below)

Each prints "ready" once it holds the database and stops when its standard input
closes; "write" then closes the database and prints the number of the last batch.

Batch k sets every rule of the group g000..g099 to the parity of k and the rules
k00..k23 to the bits of k, so a dump shows which batch it saw and whether it saw
that batch whole. Every 16th batch also rewrites the 100 long-named rules p000...
to the parity of k / 16 (a large batch, which rolls the small write-ahead log); every
64th is followed by a compaction of the whole key range.
"""

import fcntl
import os
import sys
import threading

import plyvel

ENABLED = b'{"enabled":true}'
DISABLED = b'{"enabled":false}'
GROUP = [b"g%03d" % i for i in range(100)]
COUNTER = [b"k%02d" % bit for bit in range(24)]
PADDING = [b"p%03d" % i + b"." * 400 for i in range(100)]


def flag(on):
    return ENABLED if on else DISABLED


def batch_number(rules):
    """The batch a state {name: bool} shows, from its counter rules."""
    return sum(1 << bit for bit, name in enumerate(COUNTER) if rules[name.decode()])


def whole_groups(rules):
    """True when the group and the padding hold the flags their last batches gave them."""
    k = batch_number(rules)
    group = {rules[name.decode()] for name in GROUP}
    padding = {rules[name.decode()] for name in PADDING if name.decode() in rules}
    return group == {k % 2 == 1} and padding == ({k // 16 % 2 == 1} if k >= 16 else set())


def write(db, stopped):
    k = 0
    while not stopped.is_set() or k == 0:
        k += 1
        with db.write_batch() as batch:
            for name in GROUP:
                batch.put(name, flag(k % 2))
            for bit, name in enumerate(COUNTER):
                batch.put(name, flag(k >> bit & 1))
            if k % 16 == 0:
                for name in PADDING:
                    batch.put(name, flag(k // 16 % 2))
        if k % 64 == 0:
            db.compact_range()
        if k == 1:
            print("ready", flush=True)
    return k


def main(mode, path):
    if mode == "lock":
        fd = os.open(os.path.join(path, "LOCK"), os.O_RDWR)
        fcntl.lockf(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        print("ready", flush=True)
        sys.stdin.read()
        return
    db = plyvel.DB(path, create_if_missing=True, write_buffer_size=64 << 10)
    if mode == "hold":
        print("ready", flush=True)
        sys.stdin.read()
        db.close()
        return
    stopped = threading.Event()
    threading.Thread(target=lambda: (sys.stdin.read(), stopped.set()), daemon=True).start()
    last = write(db, stopped)
    db.close()
    print(last, flush=True)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
