"""Times tolvek-send with hyperfine: ten queries to one projector-sim on a pseudo-terminal (the
time a name takes), then ten queries to one and to forty projector-sims on TCP (what many ports
at once cost), once with replies as fast as the simulator makes them and once with them paced
a byte a millisecond, about as a 9600-baud line behind a gateway gives them. Every simulator is
started here and ended by its own process id."""

import argparse
import json
import os
import subprocess
import tempfile
from pathlib import Path

QUERIES = ["status", "mode", "lamp-time", "setting", "temp"] * 2
PORTS = 40


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", type=Path, required=True)
    parser.add_argument("--runs", type=int, default=30)
    args = parser.parse_args()
    send = args.build / "tolvek-send"
    sims = []

    def simulator(*where):
        proc = subprocess.Popen([args.build / "projector-sim", *where], stdout=subprocess.PIPE, text=True)
        sims.append(proc)
        return proc.stdout.readline().strip()

    def medians(*commands):
        """hyperfine's medians; a run that exits other than 0 (a name not answered in time) is
        counted and said, not hidden."""
        with tempfile.NamedTemporaryFile(suffix=".json") as out:
            subprocess.run(["hyperfine", "-N", "-i", "--warmup", "3", "--runs", str(args.runs), "--export-json",
                            out.name, *(" ".join(map(str, c)) for c in commands)], check=True)
            results = json.load(open(out.name))["results"]
        for r in results:
            if failed := sum(code != 0 for code in r["exit_codes"]):
                print(f"{failed} of {len(r['exit_codes'])} runs did not end with 0: {r['command'][:60]}...")
        return [r["median"] for r in results]

    try:
        pty = simulator("--link", Path(tempfile.mkdtemp(prefix="tolvek-bench-")) / "projector")
        fast = [simulator("--tcp", "127.0.0.1:0") for _ in range(PORTS)]
        paced = [simulator("--tcp", "127.0.0.1:0", "--split-gap", "1") for _ in range(PORTS)]
        ports = lambda devices: [a for d in devices for a in ("--port", d)]
        start, on_pty = medians([send, "--version"], [send, *ports([pty]), *QUERIES])
        figures = {what: medians([send, *ports(group[:1]), *QUERIES], [send, *ports(group), *QUERIES])
                   for what, group in (("as fast as made", fast), ("a byte a millisecond", paced))}
    finally:
        for proc in sims:
            proc.terminate()
            proc.wait()
    print(f"\nload average {os.getloadavg()[0]:.1f}")
    print(f"start-up alone (--version): {start * 1000:.1f} ms")
    print(f"ten queries on a pseudo-terminal: {on_pty * 1000:.1f} ms, {on_pty * 100:.2f} ms a name "
          f"(goal: under 10 ms a name)")
    for what, (one, forty) in figures.items():
        print(f"ten queries on TCP, replies {what}: one port {one * 1000:.1f} ms, {PORTS} ports "
              f"{forty * 1000:.1f} ms, {forty / one:.2f} times (goal: within 1.5 times)")


if __name__ == "__main__":
    main()
