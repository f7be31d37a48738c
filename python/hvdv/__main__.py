"""python3 -m hvdv COMMAND: scan-archive (see ``python3 -m hvdv scan-archive --help``)."""

import sys


def main(argv=None) -> int:
    argv = sys.argv[1:] if argv is None else argv
    if not argv or argv[0] in ("-h", "--help", "help"):
        print("usage: python3 -m hvdv scan-archive DIR --out REPORTS [--scheduler tcp://HOST:PORT] [--workers N]\n"
              "\n"
              "  scan-archive  scans every DV file under DIR into JSON-lines reports and an index CSV,\n"
              "                on a local process pool or a Dask cluster (resumes where it stopped)")
        return 0 if argv else 2
    if argv[0] == "scan-archive":
        from .archive import main as scan_archive_main
        return scan_archive_main(argv[1:])
    print(f"python3 -m hvdv: unknown command {argv[0]!r} (try --help)", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
