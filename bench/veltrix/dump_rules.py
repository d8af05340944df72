"""A plain Python dump of a rule database (plyvel and json), the yardstick veltrix must beat.
It reads as a correct dump must: paranoid checks, block checksums verified.

Usage: /usr/bin/python3 dump_rules.py DBDIR

Prints the same line veltrix prints for keys of printable ASCII (json's escapes of
other bytes differ from veltrix's); exits 1 with an "Error: " line on a bad value.
"""

import json
import sys

import plyvel


def enabled_flag(value):
    # Like veltrix, a value counts only up to its first zero byte.
    try:
        params = json.loads(value.split(b"\0", 1)[0])
    except ValueError:
        raise ValueError("Error parsing json") from None
    if not (isinstance(params, dict) and len(params) == 1 and isinstance(params.get("enabled"), bool)):
        raise ValueError("Wrong RuleParams json format")
    return params["enabled"]


def main(path):
    db = plyvel.DB(path, create_if_missing=True, paranoid_checks=True)
    try:
        rules = {key.decode("utf-8", "surrogateescape"): enabled_flag(value)
                 for key, value in db.iterator(verify_checksums=True, fill_cache=False)}
    except ValueError as error:
        print(f"Error: {error}", file=sys.stderr)
        return 1
    finally:
        db.close()
    document = json.dumps(rules, ensure_ascii=False, separators=(",", ":"))
    sys.stdout.buffer.write(document.encode("utf-8", "surrogateescape") + b"\n")
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("Usage: dump_rules.py DBDIR")
    sys.exit(main(sys.argv[1]))
