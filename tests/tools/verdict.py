"""The checks of a test script: a line for each one that failed, and the closing verdict that
the test runner reads ('verdict: N checks passed, M failed')."""
import sys

counts = {"passed": 0, "failed": 0}


def check(ok, what):
    counts["passed" if ok else "failed"] += 1
    if not ok:
        print("FAIL:", what)


def verdict():
    """Prints the verdict and ends the script: 0 when every check passed."""
    print(f"verdict: {counts['passed']} checks passed, {counts['failed']} failed")
    sys.exit(1 if counts["failed"] else 0)
