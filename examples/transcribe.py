#!/usr/bin/env python3
"""Transcribes one audio file with vorn-speech the way an application does:
starts the tool as a child process with --progress, shows its progress while
it works, and prints the words with their times.

  examples/transcribe.py TOOL AUDIO [--locale LOCALE]
  examples/transcribe.py --check TOOL AUDIO [--locale LOCALE]
  examples/transcribe.py --check-error TOOL AUDIO [--locale LOCALE]

TOOL is the tool's path (build/vorn-speech after a build). Progress is a
redrawn bar when standard error is a terminal, plain lines otherwise. On
success the words are printed one a line, "start end text", and the status is
0; when the tool fails its error is printed and the status is 1. Ctrl-C stops
the tool and exits with 130.

--check prints a one-line summary instead of the words and exits 1 unless
the run kept the tool's contract: status 0, standard output one JSON
document, standard error nothing but progress lines, starting at 0%, always
rising, ending at 100%. --check-error exits 1 unless the run failed as the
tool fails: status 1, nothing on standard output, one "Error: " line, last,
after nothing but rising progress lines.

Standard library only.
"""

import argparse
import json
import re
import subprocess
import sys
import threading

PROGRESS = re.compile(r"Progress: (\d+)%")


def draw_progress(percent):
    if sys.stderr.isatty():
        filled = percent * 40 // 100
        sys.stderr.write(f"\r[{'#' * filled}{'.' * (40 - filled)}] {percent:3d}%")
        if percent == 100:
            sys.stderr.write("\n")
    else:
        sys.stderr.write(f"progress {percent}%\n")
    sys.stderr.flush()


def run_tool(tool, audio, locale):
    """Runs the tool to its end, drawing its progress. Returns its status,
    its standard output and its standard error lines."""
    command = [tool, "--input", audio, "--progress"]
    if locale is not None:
        command += ["--locale", locale]
    child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             encoding="utf-8", errors="replace")
    try:
        # Standard output is read on its own thread: a long recording's
        # document can outgrow the pipe's buffer while standard error is
        # still being read here.
        document = []
        reader = threading.Thread(target=lambda: document.append(child.stdout.read()),
                                  daemon=True)
        reader.start()
        lines, shown = [], None
        for line in child.stderr:
            lines.append(line.rstrip("\n"))
            match = PROGRESS.fullmatch(lines[-1])
            if match:
                shown = int(match.group(1))
                draw_progress(shown)
        reader.join()
        if sys.stderr.isatty() and shown not in (None, 100):
            sys.stderr.write("\n")  # ends a bar that an error cut short
        return child.wait(), document[0], lines
    except KeyboardInterrupt:
        # Stopping early: the tool writes no files, so ending it is all the
        # clean-up there is.
        child.terminate()
        child.wait()
        raise


def contract_breaches(status, document, lines, locale, expect_error):
    """What the run did that the tool's contract rules out."""
    breaches = []
    error = lines.pop() if expect_error and lines and lines[-1].startswith("Error: ") else None
    progress = [int(m.group(1)) for m in map(PROGRESS.fullmatch, lines) if m]
    others = [line for line in lines if not PROGRESS.fullmatch(line)]
    if others:
        breaches.append(f"standard error held other lines: {others}")
    if progress and progress[0] != 0:
        breaches.append(f"the first progress line is not 0%: {progress[0]}%")
    if any(b <= a for a, b in zip(progress, progress[1:])):
        breaches.append(f"progress did not keep rising: {progress}")
    if expect_error:
        if status != 1:
            breaches.append(f"status {status}, not 1")
        if document:
            breaches.append("standard output is not empty")
        if error is None:
            breaches.append("standard error does not end with an error line")
        return breaches
    if status != 0:
        breaches.append(f"status {status}, not 0")
    if not progress:
        breaches.append("no progress line")
    elif progress[-1] != 100:
        breaches.append(f"the last progress line is not 100%: {progress[-1]}%")
    try:
        if document.count("\n") != 1 or not document.endswith("\n"):
            raise ValueError("not one line")
        parsed = json.loads(document)
        if parsed["locale"] != locale:
            raise ValueError(f"locale {parsed['locale']!r}, not {locale!r}")
        for segment in parsed["segments"]:
            if not (isinstance(segment["text"], str) and
                    0 <= segment["start"] <= segment["end"]):
                raise ValueError(f"bad segment {segment}")
    except (ValueError, KeyError, TypeError) as problem:
        breaches.append(f"the document did not parse: {problem}")
    return breaches


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("tool")
    parser.add_argument("audio")
    parser.add_argument("--locale")
    mode = parser.add_mutually_exclusive_group()
    mode.add_argument("--check", action="store_true")
    mode.add_argument("--check-error", action="store_true")
    arguments = parser.parse_args()

    try:
        status, document, lines = run_tool(arguments.tool, arguments.audio, arguments.locale)
    except OSError as problem:
        print(f"Error: cannot start {arguments.tool}: {problem.strerror}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print("\nstopped" if sys.stderr.isatty() else "stopped", file=sys.stderr)
        return 130

    if arguments.check or arguments.check_error:
        breaches = contract_breaches(status, document, list(lines),
                                     arguments.locale or "en-US", arguments.check_error)
        for breach in breaches:
            print(f"FAIL: {breach}", file=sys.stderr)
        if breaches:
            return 1
        outcome = lines[-1] if arguments.check_error else \
            f"{len(json.loads(document)['segments'])} words"
        print(f"ok: status {status}, {outcome}")
        return 0

    if status != 0:
        errors = [line for line in lines if line.startswith("Error: ")]
        print(errors[-1] if errors else f"Error: the tool ended with status {status}",
              file=sys.stderr)
        return 1
    for segment in json.loads(document)["segments"]:
        print(f"{segment['start']:8.2f} {segment['end']:8.2f}  {segment['text']}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
