#!/usr/bin/env python3
"""build_deb.py CPACK CPACK_CONFIG OUT_DIR

Makes the Debian package from a configured and built build folder (CPack
reuses its binaries) into OUT_DIR, which holds that one .deb afterwards.
The package tests and the desktop entry's end-to-end test use it.
"""
import glob
import os
import subprocess
import sys


def main(cpack, config, out):
    os.makedirs(out, exist_ok=True)
    for old in glob.glob(os.path.join(out, "*.deb")):
        os.unlink(old)
    r = subprocess.run([cpack, "-G", "DEB", "--config", config, "-B", out],
                       capture_output=True, text=True, timeout=600)
    sys.stdout.write(r.stdout)
    sys.stderr.write(r.stderr)
    if r.returncode != 0:
        return r.returncode
    debs = glob.glob(os.path.join(out, "*.deb"))
    if len(debs) != 1:
        print(f"build_deb: expected one .deb in {out}, found {debs}", file=sys.stderr)
        return 1
    print(debs[0])
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
