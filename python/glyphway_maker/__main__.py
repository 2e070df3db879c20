"""Command line: `python -m glyphway_maker --version`."""
import argparse

import glyphway_maker


def main(argv=None):
    parser = argparse.ArgumentParser(prog="glyphway_maker", description=glyphway_maker.__doc__)
    parser.add_argument("--version", action="store_true", help="print the version and exit")
    parser.parse_args(argv)
    print(f"glyphway_maker {glyphway_maker.__version__}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
