#!/usr/bin/env python3
"""Checks what actionlint does not see in the CI workflows: that every action
is pinned by a full commit with its release in a comment, that the commit is
the one that release names and runs on Node 24 (as .github/action-inputs.txt
records them, read from each action's repository), that each `with:` key is
an input of the action at that commit, that install-qt-action is given a Qt
version, arch and tools that aqtinstall offers (.github/aqt-values.txt), and,
with shellcheck, the shell of every bash step.
Usage: check-workflow-steps.py INPUTS_FILE AQT_VALUES_FILE WORKFLOW..."""
import re
import subprocess
import sys

import yaml

PINNED = re.compile(r"^\s*-?\s*uses:\s*(\S+@[0-9a-f]{40}) # (v\d\S*)$")
EXPRESSION = re.compile(r"\$\{\{.*?\}\}")
MATRIX = re.compile(r"^\$\{\{\s*matrix\.(\w+)\s*\}\}$")
RUNTIME = "node24"  # what the runners run JavaScript actions on


def records(path):
    with open(path, encoding="utf-8") as file:
        return [line.split() for line in file if line.strip() and not line.startswith("#")]


def shell_of(step, job):
    shell = step.get("shell") or job.get("defaults", {}).get("run", {}).get("shell")
    if shell:
        return shell
    return "pwsh" if "windows" in str(job.get("runs-on", "")) else "bash"


def values_of(step, job):
    """Each `with:` value, for every matrix entry where it names one."""
    entries = (job.get("strategy") or {}).get("matrix", {}).get("include") or [{}]
    for key, value in (step.get("with") or {}).items():
        for entry in entries:
            named = MATRIX.match(str(value))
            yield key, str(entry.get(named.group(1), "") if named else value)


def check(workflow, actions, offered):
    problems = []
    with open(workflow, encoding="utf-8") as file:
        text = file.read()
    for number, line in enumerate(text.splitlines(), 1):
        if re.match(r"^\s*-?\s*uses:", line) and not line.strip().startswith(("uses: ./", "- uses: ./")):
            pinned = PINNED.match(line)
            if not pinned:
                problems.append(f"{workflow}:{number}: not pinned by a full commit with its release in a comment")
            elif pinned.group(1) in actions and actions[pinned.group(1)][0] != pinned.group(2):
                problems.append(f"{workflow}:{number}: {pinned.group(1)} is {actions[pinned.group(1)][0]}, "
                                f"not {pinned.group(2)}")
    for job_name, job in yaml.safe_load(text).get("jobs", {}).items():
        for index, step in enumerate(job.get("steps", []), 1):
            where = f"{workflow}: job {job_name}, step {index} ({step.get('name') or step.get('uses') or 'run'})"
            uses = step.get("uses", "./")
            if not uses.startswith("./"):
                if uses not in actions:
                    problems.append(f"{where}: {uses} is not in the inputs file")
                    continue
                _, runtime, known = actions[uses]
                if runtime not in (RUNTIME, "composite"):
                    problems.append(f"{where}: {uses} runs on {runtime}, not {RUNTIME}")
                for key, value in values_of(step, job):
                    if key not in known:
                        problems.append(f"{where}: {key} is not an input of {uses}")
                    for word in value.split() if key in offered and "install-qt" in uses else ():
                        if word not in offered[key]:
                            problems.append(f"{where}: {key} {word} is not one aqtinstall offers")
            if "run" in step and shell_of(step, job).split()[0] in ("bash", "sh"):
                script = "#!/usr/bin/env bash\nset -e\n" + EXPRESSION.sub("EXPRESSION", step["run"])
                checked = subprocess.run(["shellcheck", "-s", "bash", "-"], input=script,
                                         capture_output=True, text=True)
                if checked.returncode != 0:
                    problems.append(f"{where}: shellcheck:\n{checked.stdout}")
    return problems


def main():
    actions = {action: (tag, runtime, set(names)) for action, tag, runtime, *names in records(sys.argv[1])}
    offered = {name: set(values) for name, *values in records(sys.argv[2])}
    problems = [problem for workflow in sys.argv[3:] for problem in check(workflow, actions, offered)]
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
