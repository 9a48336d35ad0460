"""The job-array script on a real one-node Slurm, started here, submitted to as the README says."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import harness
from one_node_slurm import OneNodeSlurm
from test_damaged_input import zero_frames
from test_many_machines import read, readme_block

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "tools", "cluster", "shapemark-array.sbatch")
ARRAY_LIMIT = 180  # seconds for the whole array; about 5 on an idle 2-core machine
# Frame counts differ, so that one input's results cannot pass for another's.
GOOD = {"videos/a/clip.avi": 6, "videos/b/clip.avi": 8}
DAMAGED = "videos/b/damaged.avi"
MISSING = "videos/gone.avi"  # listed in the manifest, never made


def shell(command, cwd):
    return subprocess.run(["sh", "-c", command], cwd=cwd, capture_output=True, text=True,
                          timeout=harness.RUN_LIMIT, check=True).stdout


class SlurmArray(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="shapemark-e2e-")
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        self.slurm = OneNodeSlurm(tempfile.mkdtemp(prefix="shapemark-slurm-"))
        self.addCleanup(shutil.rmtree, self.slurm.scratch, ignore_errors=True)
        self.addCleanup(self.slurm.stop)  # runs first: no daemon outlives the test
        self.slurm.start()  # fails, saying why, where the daemons cannot start

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def test_array_marks_each_line_and_fails_the_missing_input_with_its_status(self):
        for name, frames in GOOD.items():
            os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
            harness.make_video(self.path(name), frames, size=(160, 120), scene="sample")
        zero_frames(harness.make_video(self.path("whole.avi"), 10, size=(160, 120),
                                       scene="sample"), self.path(DAMAGED), {3})
        os.remove(self.path("whole.avi"))
        shell(readme_block("<!-- slurm: manifest -->"), self.work)
        with open(self.path("manifest.tsv")) as manifest:
            lines = sorted(manifest.read().splitlines()) + ["%s\tmarked/%s.avi" % (MISSING,
                                                                                   MISSING)]
        with open(self.path("manifest.tsv"), "w") as manifest:
            manifest.write("".join(line + "\n" for line in lines))
        inputs = [line.split("\t")[0] for line in lines]
        self.assertEqual(sorted(inputs), sorted(list(GOOD) + [DAMAGED, MISSING]))

        # The README's submit line, with this checkout's script and a small area size.
        submit = readme_block("<!-- slurm: submit -->").replace("\\\n", " ")
        submit = re.sub(r"%\d+", "", submit.replace("/usr/share/shapemark/shapemark-array.sbatch",
                                                    os.path.abspath(SCRIPT)))
        submit = re.sub(r"--cpus-per-task=\d+", "--cpus-per-task=1", submit)
        submit = submit.replace("sbatch ", "sbatch --parsable ", 1).replace(" 400 1", " 100 1")
        env = dict(self.slurm.env, SHAPEMARK=os.path.abspath(harness.SHAPEMARK))
        submitted = subprocess.run(["sh", "-c", submit], cwd=self.work, env=env,
                                   capture_output=True, text=True, timeout=60)
        self.assertEqual(submitted.returncode, 0, submitted.stderr)
        job = submitted.stdout.strip()
        tasks = self.slurm.wait_for_array(job, len(lines), ARRAY_LIMIT)

        for index, name in enumerate(inputs, start=1):
            with self.subTest(input=name):
                state = (tasks[index]["JobState"], tasks[index]["ExitCode"])
                # Catches a script that hides the tool's status, or reports success anyway.
                self.assertEqual(state, ("FAILED", "1:0") if name == MISSING else
                                 ("COMPLETED", "0:0"), tasks[index])
                with open(self.path("shapemark-%s_%d.log" % (job, index))) as log:
                    text = log.read()
                self.assertIn(name, text)  # catches a task that took another line
                with open(self.path("shapemark-status", str(index))) as status:
                    self.assertEqual(status.read(), "1\n" if name == MISSING else "0\n")
                if name == MISSING:
                    continue
                # --cpus-per-task=1 became --threads=1: Slurm set no affinity.
                self.assertRegex(text, r", 1 thread on \d+ CPUs?\n")
                local = self.path("local", name)
                os.makedirs(local)
                ran = harness.run_tool(["--no-windows", "--threads=1", "--snapshot-at-end",
                                        "--snapshot=" + local + "/s.png",
                                        "--detections=" + local + "/d.csv", self.path(name),
                                        local + "/r.avi", "100", "1"])
                self.assertEqual(ran.returncode, 0, ran.stderr)
                marked = self.path("marked", name)
                for mine, theirs in (("r.avi", ".avi"), ("d.csv", ".csv"), ("s.png", ".png")):
                    self.assertTrue(read(os.path.join(local, mine)) == read(marked + theirs),
                                    "%s%s differs from a local run's" % (marked, theirs))

        # The README's rerun list names the one task that did not end with 0.
        rerun = shell(readme_block("<!-- slurm: rerun -->"), self.work)
        self.assertEqual(rerun, "%d\n" % (inputs.index(MISSING) + 1))


if __name__ == "__main__":
    unittest.main()
