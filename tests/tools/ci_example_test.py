"""The CI example (examples/ci/hull-lab-gate.yml) run as its job would run: the `run:` steps of the
workflow, in order, with its env, in a clone of a plugin's repository (tests/tools/status_repo.sh)
checked out detached at a pull request's commit, hull-lab on PATH. The branch that brings the fault
back fails the gate, naming the WRONG cell; the branch that is only cheaper passes it (--slower-only).
The history is kept between the two jobs, as the workflow's cache keeps it.

Usage: ci_example_test.py HULL_LAB SOURCE_DIR WORK_DIR. Prints what each job did; exit 1 on a fault."""

import os
import re
import shutil
import subprocess
import sys


def workflow(path):
    """The workflow's env (name -> value) and its steps (command, runs always), in order."""
    env, steps = {}, []
    in_env = False
    lines = open(path, encoding="utf-8").read().splitlines()
    for i, line in enumerate(lines):
        if re.match(r"^    env:$", line):
            in_env = True
            continue
        if in_env:
            match = re.match(r"^      (\w+): (.*)$", line)
            if match:
                env[match.group(1)] = match.group(2)
                continue
            in_env = False
        match = re.match(r"^\s+run: (.*)$", line)
        if match:
            always = any("if: always()" in lines[j] for j in range(max(0, i - 2), i))
            steps.append((match.group(1), always))
    return env, steps


def job(lab_dir, source, work, number, branch):
    """Runs the workflow's steps for pull request `number` (the branch `branch` of the upstream
    repository); returns the gate step's status and the job's summary."""
    env_vars, steps = workflow(os.path.join(source, "examples", "ci", "hull-lab-gate.yml"))
    clone = os.path.join(work, f"pr-{number}")
    shutil.rmtree(clone, ignore_errors=True)
    subprocess.run(["git", "clone", "-q", os.path.join(work, "upstream"), clone], check=True)
    subprocess.run(["git", "-C", clone, "checkout", "-q", "--detach", "origin/" + branch], check=True)
    shutil.copy(os.path.join(work, "hull-history.sqlite"), clone) if os.path.exists(os.path.join(work, "hull-history.sqlite")) else None
    env = dict(os.environ, PATH=lab_dir + os.pathsep + os.environ["PATH"], GITHUB_STEP_SUMMARY=os.path.join(clone, "summary.md"))
    for name, value in env_vars.items():
        env[name] = value.replace("${{ github.event.number }}", str(number))
    failed, gate = False, None
    for command, always in steps:
        if failed and not always:
            continue
        result = subprocess.run(["sh", "-ec", command], cwd=clone, env=env, capture_output=True, text=True)
        print(f"pr-{number} ({branch}) $ {command}\n  exit {result.returncode}: {(result.stdout + result.stderr).strip()[-600:]}")
        if "history check" in command:
            gate = result.returncode
        failed = failed or result.returncode != 0
    shutil.copy(os.path.join(clone, "hull-history.sqlite"), work)  # the cache, for the next job
    summary = open(env["GITHUB_STEP_SUMMARY"], encoding="utf-8").read() if os.path.exists(env["GITHUB_STEP_SUMMARY"]) else ""
    return gate, summary


def main():
    lab, source, work = (os.path.abspath(a) for a in sys.argv[1:4])
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    lab_dir = os.path.join(work, "bin")
    os.makedirs(lab_dir)
    os.symlink(os.path.abspath(lab), os.path.join(lab_dir, "hull-lab"))
    subprocess.run(["sh", os.path.join(source, "tests", "tools", "status_repo.sh"), os.path.join(work, "upstream"), source],
                   check=True, stdout=subprocess.DEVNULL)
    faults = []
    gate, summary = job(lab_dir, source, work, 42, "bug")
    if gate != 1:
        faults.append(f"the branch that brings the fault back: the gate exited {gate}, not 1")
    if "| WRONG | hull | lattice | 1000 | ok to WRONG |" not in summary:
        faults.append("the summary does not name the WRONG cell:\n" + summary)
    gate, summary = job(lab_dir, source, work, 43, "faster")
    if gate != 0:
        faults.append(f"the branch only cheaper: the gate exited {gate}, not 0")
    if "(cheaper: not gated)" not in summary:
        faults.append("the summary does not list the cheaper counts:\n" + summary)
    for fault in faults:
        print("FAULT:", fault)
    print(f"2 jobs of examples/ci/hull-lab-gate.yml, {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
