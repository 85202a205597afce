"""A Wine prefix of its own, made new and driven without ./kx: nothing of ./kx's prefix, its
registration or its settings reaches it. The tests and ./kx try use it.

Making a prefix (wineboot) takes a quarter of a minute; a copy of a fresh one made before takes
seconds. A Wine program that starts with no wineserver running waits for the server and the
prefix's services to start (seconds again); one that finds them running starts in half a
second."""
import fcntl
import os
import re
import shutil
import subprocess
from pathlib import Path

# No Mono, no Gecko, and no menu entries of the host for what a package installs.
BASE = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
BASE = {k: v for k, v in BASE.items() if not k.startswith(("KX_", "ODBC"))}
CATALOGUE = Path(__file__).resolve().parents[1] / "src" / "frame" / "catalogue.txt"


def progids(text=None):
    """Kestrix's ProgIDs, from the catalogue (or another catalogue's text)."""
    text = CATALOGUE.read_text() if text is None else text
    return [f"Kestrix.{m[1]}" for m in re.finditer(r"(?m)^class (\w+) ", text)]


class Prefix:
    """A new Wine prefix of one bitness, in a folder that the caller removes."""

    def __init__(self, path, wine, arch, new=True, bases=None):
        """new: made anew (as a copy of a fresh prefix kept in the folder bases, when given)."""
        # warm: kept warm (keep_warm); running: the server it started is still up.
        self.path, self.wine, self.warm, self.running = Path(path), wine, False, False
        self.environment = dict(BASE, WINEPREFIX=str(self.path), WINEARCH=arch)
        if (self.path / "odbc" / "odbcinst.ini").exists():
            self.environment["ODBCSYSINI"] = str(self.path / "odbc")
        if new:
            if bases is None:
                self.boot()
            else:
                self.path.mkdir(parents=True, exist_ok=True)
                subprocess.run(["cp", "-a", f"{fresh(Path(bases), wine, arch)}/.", str(self.path)], check=True)
            if arch == "win64":
                self.share(progids())

    @classmethod
    def existing(cls, path, wine, arch):
        """A prefix made before (a copy of one)."""
        return cls(path, wine, arch, new=False)

    def boot(self):
        self.run("wineboot", "-i")
        self.settle()

    def run(self, *argv, **options):
        if self.warm and not self.running:
            self.keep_warm()
        return subprocess.run([self.wine, *argv], env=self.environment, capture_output=True, text=True,
                              errors="replace", timeout=300, **options)

    def keep_warm(self):
        """Keeps the wineserver and the prefix's services running between the programs that
        follow (up to half a minute after the last one ends), until settle or stop. (Debian's
        wineserver otherwise ends with the last program, and each program waits for the next
        server and services to start.)"""
        subprocess.run(["/usr/lib/wine/wineserver", "-p30"], env=self.environment, timeout=300)
        # The services start with the first program and inherit its output: that of a program
        # whose output nobody waits for.
        subprocess.run([self.wine, "cmd", "/c", "exit"], env=self.environment, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        self.warm = self.running = True

    def settle(self):
        """Waits until the wineserver has written the registry to disk: until it ends after the
        last program, or, kept warm, at once (which ends the services; the next program starts
        them again)."""
        if self.running:
            self.stop()
        else:
            subprocess.run(["/usr/lib/wine/wineserver", "-w"], env=self.environment, timeout=300)

    def stop(self):
        """Stops the prefix's own wineserver, and every process of the prefix with it; the
        registry is written to disk first."""
        subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=self.environment, timeout=300)
        self.running = False

    def share(self, names):
        """Since Windows 7 the two registry views share every key under Classes but a few (CLSID,
        Interface and some others: "Registry Keys Affected by WOW64"); Wine shares only some of
        those it should (TypeLib, AppId), and gives the 32-bit view the rest of Classes apart. The
        named keys under Classes are linked from the 32-bit view to the shared one, as Windows
        has them, so that a 32-bit component of a 64-bit package writes them where 64-bit
        processes read them. The prefix's wineserver must have ended (settle)."""
        registry = self.path / "system.reg"
        text = registry.read_text(errors="replace")
        for name in names:
            key = f"[Software\\\\Classes\\\\Wow6432Node\\\\{name}]"
            if key in text:
                continue
            target = f"\\Registry\\Machine\\Software\\Classes\\{name}".encode("utf-16-le")
            text += f'\n{key} 0\n#link\n"SymbolicLinkValue"=hex(6):{",".join(f"{b:02x}" for b in target)}\n'
        registry.write_text(text)

    def keys(self, names):
        """Every value under the classes root whose key holds one of the names: {(key, name):
        value}, the key in lower case without the registry's own prefix."""
        found, key = {}, None
        wanted = re.compile("|".join(re.escape(o.lower()) for o in names))
        for line in (self.path / "system.reg").read_text(errors="replace").splitlines():
            if line.startswith("["):
                key = line[1:line.index("]")].replace("\\\\", "\\").lower()
                key = key.removeprefix("software\\classes\\") if wanted.search(key) else None
            elif key is not None and (value := re.fullmatch(r'(@|"(.*)")="(.*)"', line)):
                found[(key, value[2] or "")] = value[3].replace("\\\\", "\\")
        return found

    def files(self, names=("kestrix.dll", "aamd532.dll")):
        return [p for p in (self.path / "drive_c").rglob("*") if p.name.lower() in names]


def fresh(bases, wine, arch):
    """A freshly made prefix of that Wine and bitness in the folder bases, made once: again when
    Wine changes. Programs that run at once share it under a lock."""
    version = subprocess.run([wine, "--version"], capture_output=True, text=True, env=BASE).stdout.strip()
    folder, stamp = bases / f"{arch}-{Path(wine).name}", bases / f"{arch}-{Path(wine).name}.made"
    bases.mkdir(parents=True, exist_ok=True)
    with open(bases / f"{arch}-{Path(wine).name}.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not stamp.exists() or stamp.read_text() != version or not (folder / "system.reg").exists():
            shutil.rmtree(folder, ignore_errors=True)
            stamp.unlink(missing_ok=True)
            Prefix(folder, wine, arch, new=False).boot()
            if not (folder / "system.reg").exists():
                raise OSError(f"{wine} wineboot made no prefix in {folder}")
            stamp.write_text(version)
    return folder
