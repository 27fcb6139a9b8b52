#!/usr/bin/env python3
"""Lays out a folder tree for the search benchmark: FANOUT folders per level, DEPTH levels, one
small file in each folder and no marker file. Prints the number of folders (the root included).

    make_tree.py ROOT [FANOUT [DEPTH]]      (default 12 and 4: 22,621 folders)
"""
import os
import shutil
import sys


def main():
    root = sys.argv[1]
    fanout = int(sys.argv[2]) if len(sys.argv) > 2 else 12
    depth = int(sys.argv[3]) if len(sys.argv) > 3 else 4
    stamp = os.path.join(root, ".layout")
    layout = f"{fanout} {depth}\n"
    if os.path.exists(stamp) and open(stamp).read() == layout:
        print(sum(fanout ** i for i in range(depth + 1)))
        return
    shutil.rmtree(root, ignore_errors=True)
    count = 0
    level = [root]
    for d in range(depth + 1):
        following = []
        for folder in level:
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, "data.bin"), "wb") as f:
                f.write(b"x")
            count += 1
            if d < depth:
                following.extend(os.path.join(folder, f"dir{i:02d}") for i in range(fanout))
        level = following
    with open(stamp, "w") as f:
        f.write(layout)
    print(count)


if __name__ == "__main__":
    main()
