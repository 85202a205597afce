"""What the runners of real servers share: free loopback ports, files handed to the
unprivileged user the servers run as, and running a command beside servers that are stopped
afterwards, also when the command fails or the runner is ended."""
import os
import pwd
import signal
import socket
import subprocess
import sys
from pathlib import Path


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def server_user():
    """The user the servers run as: nobody when run as root, else the caller; None for the caller."""
    return pwd.getpwnam("nobody") if os.geteuid() == 0 else None


def hand_over(paths):
    """Gives files and folders to the servers' user."""
    user = server_user()
    if user:
        for path in paths:
            os.chown(path, user.pw_uid, user.pw_gid)


def run(argv, usage, start):
    """main() of a runner. start(build_dir, stops) starts the servers, appends a function that
    stops each one to stops as soon as it runs, and gives the variables the command gets."""
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))  # ended by ctest's timeout
    if len(argv) < 3:
        print(usage, file=sys.stderr)
        return 2
    build, command = Path(argv[1]).resolve(), argv[2:]
    stops = []
    try:
        variables = start(build, stops)
        return subprocess.run(command, env=dict(os.environ, **variables)).returncode
    finally:
        for stop in reversed(stops):
            stop()
