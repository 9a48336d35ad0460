"""A private one-node Slurm on 127.0.0.1: munged, slurmctld and slurmd in a scratch folder, on
free ports, as root. Without accounting there is no sacct: a job's state and exit code come
from `scontrol show job`, which keeps finished jobs for MinJobAge seconds."""
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import time

COMMAND_LIMIT = 30  # seconds for each client command
START_LIMIT = 60  # seconds for the daemons to come up and the node to turn idle
# Each daemon dies by itself after this many seconds, even if the test is killed before it
# can stop them: CTest's time limit for the test that uses them.
DAEMON_LIFETIME = 400
TOOLS = ("munged", "mungekey", "slurmctld", "slurmd", "sbatch", "scontrol", "sinfo")


class SlurmDidNotStart(Exception):
    """The daemons could not start here; the message says why."""


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def tail(path, lines=15):
    try:
        with open(path, errors="replace") as log:
            return "".join(log.readlines()[-lines:])
    except OSError:
        return "(no log at %s)" % path


class OneNodeSlurm:
    def __init__(self, scratch):
        self.scratch = scratch
        self.conf = os.path.join(scratch, "slurm.conf")
        # The daemons live in /usr/sbin, which a user's PATH may leave out.
        self.env = dict(os.environ, SLURM_CONF=self.conf,
                        PATH=os.environ.get("PATH", "/usr/bin") + ":/usr/sbin:/usr/bin")
        self.daemons = []

    def path(self, *parts):
        return os.path.join(self.scratch, *parts)

    def run(self, *command):
        ran = subprocess.run(command, env=self.env, capture_output=True, text=True,
                             timeout=COMMAND_LIMIT)
        if ran.returncode != 0:
            raise AssertionError("%s failed (%d): %s" % (" ".join(command), ran.returncode,
                                                         ran.stderr))
        return ran.stdout

    def start(self):
        missing = [tool for tool in TOOLS if not shutil.which(tool, path=self.env["PATH"])]
        if missing:
            raise SlurmDidNotStart("%s not installed; tools/setup.sh test installs slurm-wlm and "
                                   "munge" % ", ".join(missing))
        if os.geteuid() != 0:
            raise SlurmDidNotStart("the daemons run as root, and this test runs as uid %d"
                                   % os.geteuid())
        # A munged of its own, with its own key and socket, leaves alone any munged the machine
        # runs at /run/munge. It refuses a socket or key that others could reach: their folder
        # is the munge user's, and every folder above it must be open to all.
        munge = pwd.getpwnam("munge")
        os.chmod(self.scratch, 0o755)
        os.mkdir(self.path("munge"), 0o755)
        os.chown(self.path("munge"), munge.pw_uid, munge.pw_gid)
        as_munge = dict(user=munge.pw_uid, group=munge.pw_gid, extra_groups=[])
        key = self.path("munge", "key")
        subprocess.run(["mungekey", "--create", "--keyfile=" + key], env=self.env, check=True,
                       capture_output=True, timeout=COMMAND_LIMIT, **as_munge)
        socket_path = self.path("munge", "socket")
        self.spawn(["munged", "--foreground", "--key-file=" + key, "--socket=" + socket_path,
                    "--pid-file=" + self.path("munge", "pid"),
                    "--log-file=" + self.path("munge", "log"),
                    "--seed-file=" + self.path("munge", "seed")], "munged.out", **as_munge)
        self.wait_for(lambda: os.path.exists(socket_path), "munged made no socket",
                      self.path("munge", "log"))

        for folder in ("state", "spool"):
            os.mkdir(self.path(folder))
        node = self.node_line()
        with open(self.conf, "w") as conf:
            conf.write(self.configuration(socket_path, node))
        self.spawn(["slurmctld", "-D", "-f", self.conf], "slurmctld.out")
        self.spawn(["slurmd", "-D", "-f", self.conf, "-N", "localhost"], "slurmd.out")
        self.wait_for(self.node_idle, "the node never turned idle", self.path("slurmd.log"),
                      self.path("slurmctld.log"))

    def node_line(self):
        # What slurmd finds on this machine, so that the node never claims more memory or
        # CPUs than it has; renamed to the name slurmd is started with.
        found = self.run("slurmd", "-C").splitlines()[0]
        return re.sub(r"^NodeName=\S+", "NodeName=localhost NodeAddr=127.0.0.1", found)

    def configuration(self, munge_socket, node):
        lines = {
            "ClusterName": "shapemarktest",
            # slurmctld serves only under its own host name; clients reach it at 127.0.0.1.
            "SlurmctldHost": "%s(127.0.0.1)" % socket.gethostname().split(".")[0],
            "SlurmctldPort": free_port(),
            "SlurmdPort": free_port(),
            "SlurmUser": "root",
            "SlurmdUser": "root",
            "AuthType": "auth/munge",
            "AuthInfo": "socket=" + munge_socket,
            "StateSaveLocation": self.path("state"),
            "SlurmdSpoolDir": self.path("spool"),
            "SlurmctldPidFile": self.path("slurmctld.pid"),
            "SlurmdPidFile": self.path("slurmd.pid"),
            "SlurmctldLogFile": self.path("slurmctld.log"),
            "SlurmdLogFile": self.path("slurmd.log"),
            "ProctrackType": "proctrack/linuxproc",
            "TaskPlugin": "task/none",
            "SelectType": "select/cons_tres",
            "SelectTypeParameters": "CR_Core",
            "AccountingStorageType": "accounting_storage/none",
            "JobAcctGatherType": "jobacct_gather/none",
            "MpiDefault": "none",
            "MinJobAge": 3600,
            "ReturnToService": 2,
        }
        text = "".join("%s=%s\n" % item for item in lines.items())
        return text + node + "\nPartitionName=test Nodes=localhost Default=YES State=UP\n"

    def spawn(self, command, output, **user):
        command = ["timeout", "-s", "KILL", str(DAEMON_LIFETIME)] + command
        with open(self.path(output), "w") as out:
            self.daemons.append(subprocess.Popen(command, env=self.env, stdout=out,
                                                 stderr=subprocess.STDOUT, cwd=self.scratch,
                                                 start_new_session=True, **user))

    def node_idle(self):
        ran = subprocess.run(["sinfo", "-h", "-N", "-o", "%T"], env=self.env,
                             capture_output=True, text=True, timeout=COMMAND_LIMIT)
        return ran.returncode == 0 and ran.stdout.strip() == "idle"

    def wait_for(self, condition, failure, *logs):
        deadline = time.monotonic() + START_LIMIT
        while time.monotonic() < deadline:
            for daemon in self.daemons:
                if daemon.poll() is not None:
                    raise SlurmDidNotStart("%s exited with %d:\n%s" % (
                        daemon.args[4], daemon.returncode, self.logs(*logs)))
            if condition():
                return
            time.sleep(0.2)
        raise SlurmDidNotStart("%s within %d s:\n%s" % (failure, START_LIMIT, self.logs(*logs)))

    def logs(self, *logs):
        outputs = [self.path(name) for name in ("munged.out", "slurmctld.out", "slurmd.out")]
        return "\n".join("== %s\n%s" % (log, tail(log)) for log in list(logs) + outputs
                         if os.path.exists(log))

    def stop(self):
        """Kills every daemon started, whatever state it is in, and what they started."""
        for daemon in reversed(self.daemons):
            if daemon.poll() is None:
                os.killpg(daemon.pid, signal.SIGKILL)
            daemon.wait(timeout=COMMAND_LIMIT)
        self.daemons = []
        # slurmstepd leaves slurmd's session, and the jobs run under it; all of them, and only
        # they, carry this configuration's path.
        mark = b"SLURM_CONF=" + os.fsencode(self.conf) + b"\0"
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/environ" % pid, "rb") as environ:
                    if mark in environ.read():
                        os.kill(int(pid), signal.SIGKILL)
            except OSError:
                pass  # gone already, or not ours to read

    def wait_for_array(self, array_id, tasks, limit):
        """Waits until every task of the array has ended; their fields by task index."""
        deadline = time.monotonic() + limit
        while True:
            ran = self.run("scontrol", "-o", "show", "job", str(array_id))
            found = {}
            for line in ran.splitlines():
                fields = dict(re.findall(r"(\w+)=(\S*)", line))
                found[fields.get("ArrayTaskId")] = fields
            ended = {k: v for k, v in found.items()
                     if v["JobState"] not in ("PENDING", "RUNNING", "CONFIGURING", "COMPLETING")}
            if len(ended) == tasks:
                return {int(k): v for k, v in ended.items()}
            if time.monotonic() > deadline:
                raise AssertionError("the array did not end within %d s:\n%s\n%s" % (
                    limit, ran, self.logs(self.path("slurmd.log"), self.path("slurmctld.log"))))
            time.sleep(0.2)
