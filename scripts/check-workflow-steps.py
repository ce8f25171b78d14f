#!/usr/bin/env python3
"""Checks what actionlint does not see in the CI workflows: that every action
is pinned by a full commit with its release in a comment, that each `with:`
key is an input of the action at that commit (as .github/action-inputs.txt
records them), and, with shellcheck, the shell of every bash step.
Usage: check-workflow-steps.py INPUTS_FILE WORKFLOW..."""
import re
import subprocess
import sys

import yaml

PINNED = re.compile(r"^\s*-?\s*uses:\s*(\S+)@([0-9a-f]{40}) # v\d\S*$")
EXPRESSION = re.compile(r"\$\{\{.*?\}\}")


def known_inputs(path):
    inputs = {}
    with open(path, encoding="utf-8") as file:
        for line in file:
            if line.strip() and not line.startswith("#"):
                action, *names = line.split()
                inputs[action] = set(names)
    return inputs


def shell_of(step, job):
    shell = step.get("shell") or job.get("defaults", {}).get("run", {}).get("shell")
    if shell:
        return shell
    return "pwsh" if "windows" in str(job.get("runs-on", "")) else "bash"


def check(workflow, inputs):
    problems = []
    with open(workflow, encoding="utf-8") as file:
        text = file.read()
    for number, line in enumerate(text.splitlines(), 1):
        if re.match(r"^\s*-?\s*uses:", line) and not line.strip().startswith(("uses: ./", "- uses: ./")):
            if not PINNED.match(line):
                problems.append(f"{workflow}:{number}: not pinned by a full commit with its release in a comment")
    for job_name, job in yaml.safe_load(text).get("jobs", {}).items():
        for index, step in enumerate(job.get("steps", []), 1):
            where = f"{workflow}: job {job_name}, step {index} ({step.get('name') or step.get('uses') or 'run'})"
            if "uses" in step and not step["uses"].startswith("./"):
                known = inputs.get(step["uses"])
                if known is None:
                    problems.append(f"{where}: {step['uses']} is not in the inputs file")
                else:
                    for key in step.get("with", {}) or {}:
                        if key not in known:
                            problems.append(f"{where}: {key} is not an input of {step['uses']}")
            if "run" in step and shell_of(step, job).split()[0] in ("bash", "sh"):
                script = "#!/usr/bin/env bash\nset -e\n" + EXPRESSION.sub("EXPRESSION", step["run"])
                checked = subprocess.run(["shellcheck", "-s", "bash", "-"], input=script,
                                         capture_output=True, text=True)
                if checked.returncode != 0:
                    problems.append(f"{where}: shellcheck:\n{checked.stdout}")
    return problems


def main():
    inputs = known_inputs(sys.argv[1])
    problems = [problem for workflow in sys.argv[2:] for problem in check(workflow, inputs)]
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
