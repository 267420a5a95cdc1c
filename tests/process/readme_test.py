#!/usr/bin/python3
"""The README's commands, run as a newcomer runs them, in a clean folder with
the built program:
  - its two quick-start commands are the ones CI (.ci/run) and the scripts
    give, and the example one runs: the bundled example's pass, in a copy of
    the tree whose build is the program under test;
  - the steps of "Your first chart", taken from the README itself: each
    block saved "as `NAME`" becomes that file, each sh block is run, in
    order, in one shell; the run must succeed, print the line the README
    quotes, and leave every file the section names.

    readme_test.py PROGRAM SOURCE_DIR
"""
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile

FENCE = re.compile(r"^( *)```(\w*)\s*$")


def fail(message):
    print("readme_test: FAILED: " + message)
    sys.exit(1)


def section(readme, title):
    match = re.search(r"^## " + re.escape(title) + r"\n(.*?)(?=^## |\Z)", readme, re.S | re.M)
    if not match:
        fail("the README has no section '" + title + "'")
    return match.group(1)


def first_chart_script(text):
    """The section as one shell script: files written, commands run."""
    script, prose, lines, i = [], [], text.split("\n"), 0
    while i < len(lines):
        fence = FENCE.match(lines[i])
        if not fence:
            prose.append(lines[i])
            i += 1
            continue
        indent, kind = len(fence.group(1)), fence.group(2)
        body = []
        i += 1
        while not FENCE.match(lines[i]):
            body.append(lines[i][indent:])
            i += 1
        i += 1
        names = re.findall(r"\bas\s+`([^`]+)`", "\n".join(prose))
        if kind == "sh":
            script += body
        elif names:
            script += ["cat > '%s' <<'README_EOF'" % names[-1]] + body + ["README_EOF"]
        else:
            fail("a %s block of the first chart is neither a command nor a file saved 'as `NAME`'" % kind)
        prose = []
    return "\n".join(script) + "\n"


def executable(path, text):
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)


def main():
    program, source = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    with open(os.path.join(source, "README.md")) as f:
        readme = f.read()
    with open(os.path.join(source, ".ci", "run")) as f:
        ci = f.read()
    quick = section(readme, "Quick start (fresh Debian machine)")
    commands = re.findall(r"^    (scripts/.*)$", quick, re.M)
    if commands != ["scripts/install-deps && scripts/run-example", "scripts/install-deps && scripts/test"]:
        fail("the quick-start commands are %s" % commands)
    if commands[1] not in ci.strip().split("\n")[-1]:
        fail(".ci/run does not run the README's test command")

    with tempfile.TemporaryDirectory(prefix="zkreadme-") as work:
        # A copy of the tree as the quick start leaves it: the program built,
        # the packages there (installing them is no business of a test).
        tree = os.path.join(work, "tree")
        os.makedirs(os.path.join(tree, "build", "launcher"))
        os.symlink(program, os.path.join(tree, "build", "launcher", "zkQuoteForge"))
        shutil.copytree(os.path.join(source, "examples"), os.path.join(tree, "examples"))
        os.makedirs(os.path.join(tree, "scripts"))
        shutil.copy(os.path.join(source, "scripts", "run-example"), os.path.join(tree, "scripts"))
        for stub in ("install-deps", "build"):
            executable(os.path.join(tree, "scripts", stub), "#!/bin/sh\n")
        home = os.path.join(work, "home")
        os.mkdir(home)
        env = dict(os.environ, HOME=home, PATH="/usr/bin:/bin")
        run = subprocess.run(["bash", "-c", commands[0]], cwd=tree, env=env, capture_output=True, text=True,
                             timeout=300)
        if run.returncode != 0:
            fail("%s: status %d\n%s%s" % (commands[0], run.returncode, run.stdout, run.stderr))
        images = re.findall(r"^    (/\S+\.(?:gif|png|svg))$", run.stdout, re.M)
        if len(images) < 8 or not all(os.path.getsize(p) > 0 for p in images):
            fail("%s wrote %d images\n%s" % (commands[0], len(images), run.stdout))

        steps = section(readme, "Your first chart")
        where = os.path.join(work, "where")
        script = "set -e\n" + first_chart_script(steps) + 'pwd > "%s"\n' % where
        run = subprocess.run(["bash", "-c", script], cwd=tree, env=env, capture_output=True, text=True,
                             timeout=300)
        if run.returncode != 0:
            fail("the first chart's steps: status %d\n%s\n%s%s" % (run.returncode, script, run.stdout, run.stderr))
        for quoted in re.findall(r"`(file\.\.\. [^`]+)`", steps):
            if quoted not in run.stdout:
                fail("the pass did not print `%s`\n%s" % (quoted, run.stdout))
        with open(where) as f:
            folder = f.read().strip()
        if not folder.startswith(home):
            fail("the first chart was made in %s, not in a folder of its own" % folder)
        for name in re.findall(r"`([\w.-]+\.(?:png|gif|svg|txt|ini))`", steps):
            path = os.path.join(folder, name)
            if not os.path.isfile(path) or os.path.getsize(path) == 0:
                fail("the first chart's steps leave no %s" % name)
    print("readme_test: the quick start and the first chart work as written")


main()
