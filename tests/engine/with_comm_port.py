#!/usr/bin/env python3
"""Runs a command under Wine with a serial port to read from.

usage: with_comm_port.py WINEPREFIX TIMEOUT COMMAND...

Wine takes a COM port to be whatever terminal its prefix's dosdevices/comN
names; a pseudo-terminal nobody writes to is a port with no data coming. Its
name (\\\\.\\COMN) is handed to the command in SARNOVAL_COMM_PORT. A command
still running after TIMEOUT seconds is ended and fails: a read no stop ends.
"""
import os
import signal
import subprocess
import sys
import tty


def main():
    prefix, timeout, command = sys.argv[1], float(sys.argv[2]), sys.argv[3:]
    devices = os.path.join(prefix, "dosdevices")
    if not os.path.isdir(devices):
        sys.exit(f"no Wine prefix at {prefix}")
    number = next(n for n in range(10, 256)
                  if not os.path.lexists(os.path.join(devices, f"com{n}")))
    link = os.path.join(devices, f"com{number}")
    # The master stays open, and nothing is ever written to it.
    master, terminal = os.openpty()
    tty.setraw(terminal)
    os.symlink(os.ttyname(terminal), link)
    os.close(terminal)
    try:
        env = dict(os.environ, SARNOVAL_COMM_PORT=f"\\\\.\\COM{number}")
        # A group of its own, so that a timeout ends Wine too, not only the
        # wrapper that started it.
        child = subprocess.Popen(command, env=env, preexec_fn=os.setpgrp)
        try:
            return child.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)
            child.wait()
            print(f"still running after {timeout:g} s: the stop did not end the read",
                  file=sys.stderr)
            return 1
    finally:
        os.unlink(link)
        os.close(master)


if __name__ == "__main__":
    sys.exit(main())
