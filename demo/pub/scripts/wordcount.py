"""Counts the words of the files given on the command line."""
import sys

for name in sys.argv[1:]:
    with open(name, encoding="utf-8") as f:
        print(f"{len(f.read().split()):8d}  {name}")
