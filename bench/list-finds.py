#!/usr/bin/env python3
"""Lists what a recovery found, as score-recovery.py takes it: one "<start_sector>=<path>" a line.

    list-finds.py ours JSON_LINES OUT_FOLDER   quorvex-cli scan --json's lines, saved under OUT_FOLDER
    list-finds.py photorec FOLDER              photorec's f<sector>.<ext> files under FOLDER
"""
import json
import os
import re
import sys


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "ours":
        for line in open(sys.argv[2]):
            entry = json.loads(line)
            if "summary" not in entry:
                print(f"{entry['start_sector']}={sys.argv[3]}/recoverd/{entry['token']}/{entry['name']}")
    elif len(sys.argv) == 3 and sys.argv[1] == "photorec":
        for root, _, names in os.walk(sys.argv[2]):
            for name in sorted(names):
                m = re.match(r"f(\d+)", name)
                if m and "." in name:
                    print(f"{int(m.group(1))}={os.path.join(root, name)}")
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
