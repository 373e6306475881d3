#!/usr/bin/env python3
"""A private X display: Xvfb on a display number it picks itself.

The one way the tests and bench.sh start an X server. -displayfd lets Xvfb
choose a free number and write it when it is ready to take clients, so that
runs at the same time never collide and nobody waits a fixed time; -noreset
keeps it up when its last client goes.

As a program (for shell scripts) it starts Xvfb, prints the display name
(":N") and leaves Xvfb running: python3 tools/x_display.py [WxHxD] [LOG].
"""

import os
import select
import subprocess
import sys


class XDisplayError(RuntimeError):
    pass


def start_xvfb(screen="1024x768x24", output=subprocess.DEVNULL, env=None, timeout=30.0):
    """Starts Xvfb with one screen of `screen`, its output to `output`;
    returns the process and its display name once it takes clients."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-noreset", "-nolisten", "tcp",
                             "-screen", "0", screen], pass_fds=(write_end,), env=env,
                            stdin=subprocess.DEVNULL, stdout=output, stderr=output)
    os.close(write_end)
    number = b""
    try:
        while not number.endswith(b"\n"):
            if not select.select([read_end], [], [], timeout)[0]:
                raise XDisplayError("Xvfb gave no display number")
            chunk = os.read(read_end, 64)
            if not chunk:
                raise XDisplayError("Xvfb ended before giving its display number")
            number += chunk
    except BaseException:
        xvfb.kill()
        xvfb.wait()
        raise
    finally:
        os.close(read_end)
    return xvfb, ":" + number.decode().strip()


if __name__ == "__main__":
    log = open(sys.argv[2], "ab") if len(sys.argv) > 2 else subprocess.DEVNULL
    try:
        _, display = start_xvfb(*sys.argv[1:2], output=log)
    except XDisplayError as error:
        sys.exit(str(error))
    print(display)
