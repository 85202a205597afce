"""What the runners of real servers share: free loopback ports, private folders of the
unprivileged user the servers run as, and running a command beside servers that are stopped
afterwards, also when the command fails or the runner is ended."""
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
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


def private_folder(prefix, stops):
    """A new folder of the servers' user, in the system's temporary folder and so reachable
    wherever the checkout lies (a clone in a 0700 folder is not); removed when the servers
    stop."""
    folder = Path(tempfile.mkdtemp(prefix=prefix))
    stops.append(lambda: shutil.rmtree(folder, ignore_errors=True))
    hand_over([folder])
    return folder


def run(argv, usage, start):
    """main() of a runner. start(stops) starts the servers, appends a function that stops each
    one to stops as soon as it runs, and gives the variables the command gets."""
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))  # ended by ctest's timeout
    if len(argv) < 2:
        print(usage, file=sys.stderr)
        return 2
    command = argv[1:]
    stops = []
    try:
        variables = start(stops)
        return subprocess.run(command, env=dict(os.environ, **variables)).returncode
    finally:
        for stop in reversed(stops):
            stop()
