"""The README's "Many machines" recipe, run as written over two stand-in hosts."""
import csv
import os
import re
import shutil
import signal
import subprocess
import tempfile
import unittest

import harness

HERE = os.path.dirname(os.path.abspath(__file__))
README = os.path.join(HERE, "..", "..", "README.md")
# Parallel's ssh: keeps each host in a folder of its own here, and rsync reaches it the same way.
FAKE_SSH = os.path.join(HERE, "fake_ssh")
HOSTS = ("host-a", "host-b")
# Frame counts differ, so that one input's results cannot pass for another's.
INPUTS = {"videos/a/clip.avi": 6, "videos/b/clip.avi": 8, "videos/b/clip.mp4": 10,
          "videos/b/my clip.avi": 12}
BROKEN = "videos/a/broken.avi"


def readme_block(marker):
    with open(README, encoding="utf-8") as readme:
        found = re.search(re.escape(marker) + r"\n```sh\n(.*?)```", readme.read(), re.S)
    if not found:
        raise AssertionError("README.md has no ```sh block right after " + marker)
    return found.group(1)


def read(path):
    with open(path, "rb") as data:
        return data.read()


def run_shell(command, cwd, env):
    """Runs a shell command line; on timeout kills its whole process group, parallel's jobs too."""
    process = subprocess.Popen(["sh", "-c", command], cwd=cwd, env=env, start_new_session=True,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        out, err = process.communicate(timeout=harness.RUN_LIMIT)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        raise
    return process.returncode, out, err


class ManyMachines(unittest.TestCase):
    def setUp(self):
        for tool in ("parallel", "rsync"):
            self.assertTrue(shutil.which(tool), "'%s' is not installed; tools/setup.sh test "
                            "installs it (apt-get install %s)" % (tool, tool))
        self.work = tempfile.mkdtemp(prefix="shapemark-e2e-")
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def test_readme_recipe_spreads_inputs_over_hosts_and_returns_local_results(self):
        recipe = readme_block("<!-- many-machines: recipe -->")
        here, hosts = self.path("here"), self.path("hosts")
        for name, frames in INPUTS.items():
            os.makedirs(os.path.dirname(os.path.join(here, name)), exist_ok=True)
            harness.make_video(os.path.join(here, name), frames, size=(160, 120), scene="sample",
                               codec="mp4v" if name.endswith(".mp4") else "MJPG")
        with open(os.path.join(here, BROKEN), "wb") as broken:
            broken.write(os.urandom(4096))
        with open(os.path.join(here, re.search(r"--sshloginfile (\S+)", recipe).group(1)),
                  "w") as logins:
            logins.write("".join("1/%s\n" % host for host in HOSTS))  # one job at a time each
        os.makedirs(self.path("bin"))
        os.symlink(os.path.abspath(shutil.which(harness.SHAPEMARK)), self.path("bin", "shapemark"))
        env = harness.headless_env(PARALLEL_SSH=FAKE_SSH, FAKE_SSH_HOSTS=hosts,
                                   FAKE_SSH_PATH=self.path("bin") + ":/usr/bin:/bin",
                                   HOME=self.path("home"))

        status, _, err = run_shell(recipe, here, env)
        self.assertEqual(status, 1, "parallel counts one failed job, the broken input\n" + err)

        joblog = os.path.join(here, re.search(r"--joblog (\S+)", recipe).group(1))
        with open(joblog, newline="") as log:
            rows = list(csv.DictReader(log, delimiter="\t", quoting=csv.QUOTE_NONE))
        self.assertEqual(sorted((BROKEN in row["Command"], row["Exitval"]) for row in rows),
                         [(False, "0")] * len(INPUTS) + [(True, "1")], rows)
        self.assertEqual({row["Host"] for row in rows}, set(HOSTS))
        status, failed, err = run_shell(readme_block("<!-- many-machines: failed -->"), here, env)
        self.assertEqual((status, len(failed.splitlines())), (0, 1), err)
        self.assertTrue(failed.startswith("1 ") and BROKEN in failed, failed)

        area, skip = re.search(r" \{\} \S+ (\d+) (-?\d+) >", recipe).groups()
        results = {os.path.splitext(t)[1]: t for t in re.findall(r"--return (\S+)", recipe)}
        self.assertEqual(sorted(results), [".avi", ".csv", ".png"])
        for name in INPUTS:
            local = self.path("local", name)
            os.makedirs(local)
            ran = harness.run_tool(["--no-windows", "--snapshot=" + local + "/s.png",
                                    "--detections=" + local + "/d.csv", os.path.join(here, name),
                                    local + "/r.avi", area, skip])
            self.assertEqual(ran.returncode, 0, ran.stderr)
            returned = {ext: os.path.join(here, template.replace("{}", name))
                        for ext, template in results.items()}
            self.assertTrue(harness.decodes_cleanly(returned[".avi"]), returned[".avi"])
            for ext, mine in ((".avi", "r.avi"), (".png", "s.png"), (".csv", "d.csv")):
                self.assertTrue(read(returned[ext]) == read(os.path.join(local, mine)),
                                "%s differs from a local run's" % returned[ext])

        # GStreamer's cache in the home folder is the only thing a job may leave on a host.
        self.assertEqual(sorted(os.listdir(hosts)), sorted(HOSTS))
        for host in HOSTS:
            left = [e for e in os.listdir(os.path.join(hosts, host)) if e != ".cache"]
            self.assertEqual(left, [], "jobs left files on " + host)

if __name__ == "__main__":
    unittest.main()
