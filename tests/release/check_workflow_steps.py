#!/usr/bin/python3
"""What can be checked here of the GitHub workflow, whose Windows jobs run
only on GitHub's runners (the workflow's head comment lists it): its
actions, token, concurrency and container; when each job runs; the flags
each Windows job gives the self-test; and its bash steps, run here as the
runner runs them, on good and damaged kits and reports.
  check_workflow_steps.py WORKFLOW
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

import yaml

# The first major of each action that runs on Node.js 24; older ones run on
# Node.js 20, which GitHub's runners have dropped.
NODE24_MAJORS = {"actions/checkout": 5, "actions/upload-artifact": 6, "actions/download-artifact": 7}

failures = []


def fail(message):
    failures.append(message)
    print(f"FAIL: {message}", file=sys.stderr)


TOKEN = re.compile(r"\s+|'(?:[^']|'')*'|==|!=|&&|\|\||!|\(|\)|[A-Za-z_][\w.-]*")
LITERALS = {"true": "True", "false": "False", "null": "None"}


def evaluate(expression, context):
    """An expression of ==, !=, !, &&, || and property paths, as GitHub
    evaluates it where it compares values of one type: strings without
    regard to case."""
    tokens = TOKEN.findall(expression)
    if "".join(tokens) != expression:
        sys.exit(f"an expression this check cannot read: {expression!r}")

    def look(path):
        value = context
        for name in path.split("."):
            value = value.get(name) if isinstance(value, dict) else None
        return value.casefold() if isinstance(value, str) else value

    python = []
    for token in (token for token in tokens if not token.isspace()):
        if token.startswith("'"):
            python.append(repr(token[1:-1].replace("''", "'").casefold()))
        elif token in LITERALS:
            python.append(LITERALS[token])
        elif token[0].isalpha() or token[0] == "_":
            python.append(f"look({token!r})")
        else:
            python.append({"&&": "and", "||": "or", "!": "not"}.get(token, token))
    return eval(" ".join(python), {"look": look})


def text(value):
    """A value as ${{ }} writes it into a string."""
    return "" if value is None else str(value).lower() if isinstance(value, bool) else str(value)


def truth(setting, context, default):
    """A boolean setting (an if:, cancel-in-progress), written out or as an
    expression with or without ${{ }}."""
    if setting is None or isinstance(setting, bool):
        return default if setting is None else setting
    setting = setting.strip()
    if setting.startswith("${{") and setting.endswith("}}"):
        setting = setting[3:-2]
    return bool(evaluate(setting.strip(), context))


def runs(condition, context):
    """Whether a job with this if: runs."""
    return truth(condition, context, True)


def expand(template, context):
    """A string with its ${{ }} parts evaluated."""
    return re.sub(r"\$\{\{(.*?)\}\}", lambda part: text(evaluate(part.group(1).strip(), context)), str(template))


def event(name, private=False, ref="refs/heads/topic", head_repository="owner/flashgate"):
    """The github context of a run on repository owner/flashgate."""
    payload = {"repository": {"full_name": "owner/flashgate", "private": private}}
    if name == "pull_request":
        payload["pull_request"] = {"head": {"repo": {"full_name": head_repository}}}
    return {"github": {"event_name": name, "repository": "owner/flashgate", "workflow": "CI", "ref": ref,
                       "event": payload}}


def check_actions(workflow):
    for job_name, job in workflow["jobs"].items():
        for step in job.get("steps", []):
            uses = step.get("uses")
            if uses is None:
                continue
            action, _, version = uses.partition("@")
            major = re.match(r"v(\d+)", version)
            if action not in NODE24_MAJORS:
                fail(f"{job_name}: {uses}: not an action whose Node.js major is known here; add it to NODE24_MAJORS")
            elif not major or int(major.group(1)) < NODE24_MAJORS[action]:
                fail(f"{job_name}: {uses} runs on Node.js 20; use {action}@v{NODE24_MAJORS[action]} or later")


def check_settings(workflow):
    jobs = workflow["jobs"]
    if workflow.get("permissions") != {"contents": "read"} or any("permissions" in job for job in jobs.values()):
        fail(f"the workflow's token may do more than read the repository: {workflow.get('permissions')!r}")
    concurrency = workflow.get("concurrency") or {}
    group = lambda context: expand(concurrency.get("group", ""), context)
    push, again, other = event("push"), event("push"), event("push", ref="refs/heads/other")
    first, second = event("pull_request", ref="refs/pull/7/merge"), event("pull_request", ref="refs/pull/8/merge")
    if not group(push) or group(push) != group(again) or group(push) == group(other) or group(first) == group(second):
        fail(f"the concurrency group {concurrency.get('group')!r} does not hold exactly one branch's or one pull "
             "request's runs")
    if not truth(concurrency.get("cancel-in-progress"), push, False):
        fail("a newer commit of a branch does not end the run of the one before (cancel-in-progress)")
    if "--init" not in jobs["linux"].get("container", {}).get("options", "").split():
        fail("the Linux job's container has no process 1 that reaps orphans (--init)")
    linux = jobs["linux"].get("if")
    for context, expected, what in (
            (event("push"), True, "a push"), (event("workflow_dispatch"), True, "a run by hand"),
            (event("pull_request", head_repository="someone/flashgate"), True, "a pull request from a fork"),
            (event("pull_request"), False, "a pull request from a branch of the repository, which its push runs")):
        if runs(linux, context) != expected:
            fail(f"the Linux job {'does not run' if expected else 'runs'} on {what}")


def runners(job):
    entries = job.get("strategy", {}).get("matrix", {}).get("include", [])
    return {expand(job["runs-on"], {"matrix": entry}) for entry in entries} or {job["runs-on"]}


def check_arm_only_where_public(workflow):
    for job_name, job in workflow["jobs"].items():
        if "windows-11-arm" not in runners(job):
            continue
        for trigger in ("push", "pull_request", "workflow_dispatch"):
            for private in (False, True):
                context = event(trigger, private=private, head_repository="someone/flashgate")
                if runs(job.get("if"), context) == private:
                    fail(f"{job_name} runs windows-11-arm {'on' if private else 'not on'} a "
                         f"{'private' if private else 'public'} repository's {trigger}")


def step_named(job_name, job, name):
    found = [step for step in job["steps"] if step.get("name") == name]
    if len(found) != 1:
        sys.exit(f"{job_name} has no step named {name!r}: keep this check in step with the workflow")
    return found[0]


def check_self_test_flags(job_name, job):
    run = step_named(job_name, job, "Run the self-test")["run"]
    if "${{ matrix.checks }}" not in run:
        fail(f"{job_name}: the self-test is run without the matrix's checks")
    for entry in job["strategy"]["matrix"]["include"]:
        checks = entry.get("checks", "").split()
        where = f"{job_name}: {entry['arch']} on {entry['runner']}"
        latest = entry["runner"] == "windows-latest"
        if "--no-unexplained-skips" not in checks:
            fail(f"{where}: a check skipped for another reason than the board would pass")
        if ("--require-visible" in checks) != latest or entry.get("notice") != ("met" if latest else "met-or-unseen"):
            fail(f"{where}: unseen notices must fail on windows-latest and be accepted only on windows-11-arm")
        if not latest and "unseen" not in job["name"]:
            fail(f"{where}: the job's name does not say that its notices may go unseen")


def run_bash(script, folder, environment=None):
    return subprocess.run(["bash", "--noprofile", "--norc", "-eo", "pipefail", "-c", script], cwd=folder,
                          env={**os.environ, **(environment or {})}, capture_output=True, text=True)


def write(folder, files):
    for name, data in files.items():
        os.makedirs(os.path.dirname(os.path.join(folder, name)) or folder, exist_ok=True)
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


def sums(files):
    return "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data in sorted(files.items())).encode()


def check_sums(job_name, job):
    step = step_named(job_name, job, "Check the kit's sums")
    for damage in ("none", "unlisted", "missing", "changed", "twice"):
        with tempfile.TemporaryDirectory() as root:
            folder = os.path.join(root, step.get("working-directory", "."))
            files = {"NOTE.txt": b"note\r\n", "x86/flashgate.exe": b"MZ x86", "x64/flashgate.exe": b"MZ x64",
                     "x64/flashgate-selftest.exe": b"MZ self-test"}
            write(folder, files)
            lines = sums(files).decode().splitlines(keepends=True)
            lines = lines[:-1] if damage == "unlisted" else lines + lines[:1] if damage == "twice" else lines
            write(folder, {"SHA256SUMS": "".join(lines).encode()})
            if damage == "missing":
                os.remove(os.path.join(folder, "NOTE.txt"))
            elif damage == "changed":
                write(folder, {"x86/flashgate.exe": b"MZ x86!"})
            result = run_bash(step["run"], folder)
        if (result.returncode == 0) != (damage == "none"):
            fail(f"{job_name}: the sums check {'failed' if result.returncode else 'passed'} on a kit with "
                 f"{'nothing wrong' if damage == 'none' else 'a file ' + damage}: {result.stdout}{result.stderr}")


def check_release_match(job_name, job):
    script = step_named(job_name, job, "Check that the kit's flashgate.exe is the release zip's")["run"]
    release = {"x86/flashgate.exe": b"MZ x86", "x64/flashgate.exe": b"MZ x64", "LICENSE": b"license\n"}
    for damage, kit, said in (
            ("none", release, None),
            ("a changed x64 build", {**release, "x64/flashgate.exe": b"MZ x64!"}, "kit/x64/flashgate.exe"),
            ("the builds swapped", {**release, "x86/flashgate.exe": b"MZ x64", "x64/flashgate.exe": b"MZ x86"},
             "kit/x86/flashgate.exe")):
        with tempfile.TemporaryDirectory() as folder:
            write(os.path.join(folder, "release"), {**release, "SHA256SUMS": sums(release)})
            write(os.path.join(folder, "kit"), {name: data for name, data in kit.items() if name != "LICENSE"})
            result = run_bash(script, folder)
        if (result.returncode == 0) != (said is None) or (said and said not in result.stdout):
            fail(f"{job_name}: the check of the kit's flashgate.exe against the release zip's gave "
                 f"{result.returncode} on a kit with {damage}: {result.stdout}{result.stderr}")


def git(folder, *arguments):
    # No user's or system's configuration: the checkout's own settings alone.
    environment = {**os.environ, "GIT_CONFIG_GLOBAL": os.devnull, "GIT_CONFIG_NOSYSTEM": "1"}
    subprocess.run(["git", "-C", folder, "-c", "user.name=check", "-c", "user.email=check@localhost", *arguments],
                   env=environment, check=True, capture_output=True)


def sparse_checkout(source_root, options, folder):
    """The tree's .github, checked out into folder as actions/checkout does
    with these options, under Git for Windows' core.autocrlf=true."""
    origin = os.path.join(folder, "..", "origin")
    shutil.copytree(os.path.join(source_root, ".github"), os.path.join(origin, ".github"))
    git(origin, "init", "-q")
    git(origin, "add", "-A")
    git(origin, "commit", "-q", "-m", "tree")
    git(folder, "init", "-q")
    git(folder, "config", "core.autocrlf", "true")
    git(folder, "fetch", "-q", origin, "HEAD")
    patterns = str(options.get("sparse-checkout", "")).split()
    if str(options.get("sparse-checkout-cone-mode", True)).lower() == "true":
        git(folder, "sparse-checkout", "set", *patterns)
    else:
        git(folder, "config", "core.sparseCheckout", "true")
        with open(os.path.join(folder, ".git", "info", "sparse-checkout"), "a") as out:
            out.write("\n" + "\n".join(patterns) + "\n")
    git(folder, "checkout", "-q", "--force", "FETCH_HEAD")


# Reports as the self-test writes them on a runner, each line ending in CR LF.
HEAD = ["flashgate self-test, checking D:\\a\\flashgate\\kit\\x64\\flashgate.exe",
        "session:  window station WinSta0, visible: notices are met as a user meets them",
        'expected: the wrong-model notice, title "WinPhlash" (exit status 2)']
MET = "notice-ok: ok: the wrong-model notice, dismissed by its OK button; exit status 2"
UNSEEN = "notice-ok: ok: no notice where no one could see one; exit status 2"
START = 'own: skipped: for a board whose Version begins with "41"; this one gets a notice'
LAYER = "windows-layer SelfTestSuiteResults.EachRecordedTestIsOneCheck: ok"
# Each case: its lines, and what the one line of its failure must say (None: it passes).
REPORTS = {
    "good": (HEAD + [MET, START, LAYER, "2 passed, 0 failed, 1 skipped"], None),
    "notice-ok missing": (HEAD + [START, LAYER, "1 passed, 0 failed, 1 skipped"], "no notice-ok line"),
    "the notice unseen": (HEAD + [UNSEEN, START, LAYER, "2 passed, 0 failed, 1 skipped"], "expected the notice met"),
    "no windows-layer test passed": (HEAD + [MET, START, "1 passed, 0 failed, 1 skipped"], "no windows-layer line"),
    "a failure": (HEAD + [MET, "notice-escape: FAIL: notices shown: 2, expected 1", START, LAYER,
                          "2 passed, 1 failed, 1 skipped"], "expected 0 failed (failed: notice-escape)"),
    "no count": (HEAD + [MET, START, LAYER], "expected the count"),
}


def check_report_check(source_root, job_name, job, tried):
    """Runs the report check of each matrix entry whose command is not in tried."""
    checkout = [step for step in job["steps"] if step.get("uses", "").startswith("actions/checkout@")]
    script = step_named(job_name, job, "Check the report for notice-ok, the Windows side's suite and 0 failed")["run"]
    entries = {}
    for entry in job["strategy"]["matrix"]["include"]:
        entries.setdefault(expand(script, {"matrix": entry}), entry)
    with tempfile.TemporaryDirectory() as root:
        workspace = os.path.join(root, "workspace")
        os.mkdir(workspace)
        if len(checkout) == 1 and set(entries) - tried:
            sparse_checkout(source_root, checkout[0].get("with", {}), workspace)
        for command, entry in entries.items():
            if command in tried:
                continue
            tried.add(command)
            where = f"{job_name}: {entry['arch']} on {entry['runner']}"
            for case, (lines, said) in REPORTS.items():
                if case == "the notice unseen" and entry.get("notice") == "met-or-unseen":
                    said = None
                write(workspace, {"selftest-report.txt": "".join(line + "\r\n" for line in lines).encode()})
                result = run_bash(command, workspace)
                if said is None and result.returncode != 0 or said is not None and (
                        result.returncode != 1 or len(result.stdout.splitlines()) != 1 or said not in result.stdout):
                    fail(f"{where}: the report check gave {result.returncode} on a report with {case}"
                         f"{', expected one line saying ' + repr(said) if said else ''}: {result.stdout}{result.stderr}")


def check_summary(job_name, job):
    script = step_named(job_name, job, "Put the report in the job's summary")["run"]
    script = expand(script, {"matrix": {"arch": "x86", "runner": "windows-11-arm"}})
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "selftest-report.txt"), "w", newline="") as report:
            report.write("flashgate self-test, checking C:\\kit\\flashgate.exe\r\n"
                         "session:  window station Service-0x0-3e7$, not visible (a service or a headless session)"
                         ": no notice can be seen, so the notice scenarios run as unseen ones\r\n"
                         "1 passed, 0 failed, 0 skipped\r\n")
        summary = os.path.join(folder, "summary.md")
        result = run_bash(script, folder, {"GITHUB_STEP_SUMMARY": summary})
        text = open(summary).read() if os.path.exists(summary) else ""
    if result.returncode != 0 or "Session found: window station Service-0x0-3e7$, not visible" not in text \
            or "\r" in text or "1 passed, 0 failed, 0 skipped" not in text:
        fail(f"{job_name}: the job's summary does not say which session was found, or lacks the report: "
             f"{text!r} {result.stderr}")


def main():
    path = sys.argv[1]
    with open(path) as source:
        workflow = yaml.safe_load(source)
    source_root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(path))))
    check_actions(workflow)
    check_settings(workflow)
    check_arm_only_where_public(workflow)
    windows = {name: job for name, job in workflow["jobs"].items()
               if any(runner.startswith("windows") for runner in runners(job))}
    if set(runner for job in windows.values() for runner in runners(job)) != {"windows-latest", "windows-11-arm"}:
        fail(f"the Windows jobs run on {sorted(runner for job in windows.values() for runner in runners(job))}, "
             "expected windows-latest and windows-11-arm")
    # Steps shared by jobs (a YAML alias) are run once, the report check once
    # for each command its matrix entries give it.
    steps_run, commands_run = [], set()
    for job_name, job in windows.items():
        check_self_test_flags(job_name, job)
        check_report_check(source_root, job_name, job, commands_run)
        if job["steps"] not in steps_run:
            steps_run.append(job["steps"])
            check_sums(job_name, job)
            check_release_match(job_name, job)
            check_summary(job_name, job)
    if failures:
        sys.exit(f"{len(failures)} check(s) of {path} failed (see above)")
    print(f"{path}: Node.js 24 actions; read-only, one run a commit; windows-11-arm only where public; "
          f"the Windows jobs' checks, sums, release match, report check and summary do what they say")


if __name__ == "__main__":
    main()
