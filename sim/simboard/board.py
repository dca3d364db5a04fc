"""One simulated board from start to end: the run folder laid out, the
namespace mounted, the daemons and the service started, the scenario's
actions performed at their times, the service stopped and everything it
left collected."""

import glob
import os
import shutil
import subprocess
import time

from simboard import daemons, ini, namespace, scenario, service, syslog_sink

STOP_GRACE_SECONDS = 30
# A wait gives up after this: long enough for any loaded machine, short
# enough that a scenario waiting for what never comes fails plainly.
WAIT_SECONDS = 60
WAIT_RETRY_SECONDS = 0.05
RESTART_SECONDS = 0.1  # systemd's default RestartSec
STATEMGR_SOCKET = "/tmp/statemgr.sock"
HOST_FOLDERS = {"/tmp": "tmp", "/var/local": "var-local", "/mnt": "mnt"}
SOURCE_TREE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.realpath(__file__))))


class SetupError(Exception):
    pass


class Board:
    def __init__(self, args, tools):
        self.args = args
        self.tools = tools
        self.run_dir = os.path.realpath(args.run)
        self.name = args.board or {"in": "entry", "out": "exit"}.get(args.direction, "board")
        self.dir = os.path.join(self.run_dir, self.name)
        self.net_base_host = os.path.realpath(args.net_base or
                                              os.path.join(self.run_dir, "net-base"))
        self.clock = args.speed if args.speed > 0 else 1.0
        self.interrupted = False
        self._actions_file = None
        self._started = None
        # Real seconds the scenario stood still in its waits, so that the
        # lines after a wait keep their distance from it.
        self._held = 0.0
        self.failure = None
        self.peak_kb = 0
        self.descriptors = []  # every count of open descriptors sampled
        self.restarts = []  # wait statuses of the ends that were followed by a restart

    # The run folder, before anything is mounted.

    def host_path(self, inside):
        """Where a path of the board's private folders lies in the run folder."""
        root = namespace.private_root_of(inside.rstrip("/") or "/")
        return os.path.join(self.dir, HOST_FOLDERS[root], inside[len(root):].strip("/"))

    def _private(self, inside, what):
        if namespace.private_root_of(os.path.normpath(inside)) is None:
            raise SetupError("%s \"%s\" lies outside the board's own /tmp, /var/local and /mnt; "
                             "the board would write into the host there" % (what, inside))
        return os.path.normpath(inside)

    def prepare(self):
        for path, what in ((self.run_dir, "the run folder"),
                           (self.net_base_host, "the net-base folder")):
            if os.path.realpath(path).startswith("/dev/"):
                raise SetupError("%s %s lies under /dev, which the board replaces with its own" %
                                 (what, path))
        if os.path.isdir(self.dir):
            shutil.rmtree(self.dir)
        for folder in list(HOST_FOLDERS.values()) + ["etc"]:
            os.makedirs(os.path.join(self.dir, folder))
        os.makedirs(self.net_base_host, exist_ok=True)
        self._configuration()
        self._scenario()
        self._storage()
        self._tmpfs_folders()
        self._access_base()

    def _configuration(self):
        etc = os.path.join(self.dir, "etc")
        if self.args.config:
            shutil.copytree(self.args.config, etc, dirs_exist_ok=True)
        streams = os.path.join(etc, "streams.ini")
        if self.args.direction:
            # A section may appear twice and the last value wins.
            with open(streams, "a") as f:
                f.write("\n[barrier]\nbarrier_type = %s\n" % self.args.direction)
        text = open(streams, encoding="latin-1").read() if os.path.exists(streams) else None
        self.settings = ini.Settings(text)

    def _scenario(self):
        text = open(self.args.scenario).read() if self.args.scenario else ""
        camera, self.actions, problems = scenario.split(text, self.dir)
        if self.args.speed <= 0 and any(a.event != "stop" for a in self.actions):
            problems.append("with --speed 0 the scenario has no clock for its actions")
        if problems:
            raise SetupError("scenario %s: %s" % (self.args.scenario, "; ".join(problems)))
        with open(os.path.join(self.dir, "scenario"), "w") as f:
            f.write(camera)
        if not (any(a.event == "stop" for a in self.actions) or self.args.duration or
                self.args.until_passages):
            raise SetupError("nothing ends the board: give the scenario a stop line, or "
                             "--duration or --until-passages")

    def _storage(self):
        if not self.settings.net_base:
            raise SetupError("the configuration leaves the net-base folder empty, so the "
                             "journals would go to the host's root folder")
        self.net_base = self._private(self.settings.net_base, "the net-base folder")
        os.makedirs(self.host_path(self.net_base), exist_ok=True)
        for point in self.settings.mount_points:
            point = self._private(point, "the mount point")
            # The service never makes its archive folders: the storage comes
            # prepared, as on the board.
            os.makedirs(os.path.join(self.host_path(point), self.settings.device_id, "jpegdata"),
                        exist_ok=True)

    def _kept(self):
        """The host folders that stay where they are inside the board: the
        programs it runs and the run's own folders."""
        return sorted(os.path.realpath(path) for path in
                      (self.tools.build, self.tools.arm_build, SOURCE_TREE, self.run_dir,
                       self.net_base_host) if path)

    def _tmpfs_folders(self):
        self.tmpfs = sorted(self.args.tmpfs, key=lambda mount: len(mount[0]))
        folders = [folder for folder, _ in self.tmpfs]
        for folder in folders:
            below = lambda path: path == folder or path.startswith(folder + "/")
            if folder != self.net_base:
                if namespace.private_root_of(folder) in (None, folder):
                    raise SetupError("the tmpfs \"%s\" lies neither below the board's own /tmp, "
                                     "/var/local and /mnt nor on the net-base folder" % folder)
                os.makedirs(self.host_path(folder), exist_ok=True)
            if folders.count(folder) > 1:
                raise SetupError("two tmpfs on \"%s\"" % folder)
            if folder != self.net_base and below(self.net_base):
                raise SetupError("the tmpfs \"%s\" would hide the shared net-base folder; "
                                 "mount it on the net-base itself" % folder)
            hidden = [path for path in self._kept() if below(path)]
            if hidden:
                raise SetupError("the tmpfs \"%s\" would hide %s, which the board needs" %
                                 (folder, hidden[0]))

    def _tmpfs_back(self):
        """What each tmpfs holds, into the board's own folder for it."""
        for folder, _ in self.tmpfs:
            # The folder itself stays: the tmpfs is still mounted on it.
            target = self.host_path(folder)
            for entry in os.scandir(target):
                if entry.is_dir(follow_symlinks=False):
                    shutil.rmtree(entry.path)
                else:
                    os.unlink(entry.path)
            shutil.copytree(folder, target, symlinks=True, dirs_exist_ok=True)

    def _access_base(self):
        if not self.args.access:
            return
        target = os.path.join(self.dir, "var-local", "accessbase.tpa")
        if self.args.access.endswith(".csv"):
            done = subprocess.run([self.tools.accessbase, "-f", target, "import", self.args.access],
                                  capture_output=True, text=True)
            if done.returncode != 0:
                raise SetupError("accessbase cannot import %s: %s" %
                                 (self.args.access, done.stderr.strip()))
        else:
            shutil.copyfile(self.args.access, target)

    # Inside the namespace.

    def _mount(self, log_socket):
        # The programs the board runs and the run's own folders stay where
        # they are, even when that is below a folder the board replaces.
        keep = self._kept()
        for inside, folder in HOST_FOLDERS.items():
            namespace.bind_keeping(os.path.join(self.dir, folder), inside, keep)
        namespace.bind(self.net_base_host, self.net_base)
        for folder, size in self.tmpfs:
            namespace.small_tmpfs(folder, size)
        namespace.private_dev(log_socket)

    def _environment(self):
        env = {"PATH": ":".join(self.tools.path_dirs() + [os.environ.get("PATH", "/usr/bin:/bin")]),
               "HOME": "/tmp",
               "STATEMGR_SOCKET": STATEMGR_SOCKET,
               "BOARD": self.dir,
               "SHMGR_PREFIX": "/dravel-sim-%s-%d" % (self.name, os.getpid())}
        for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if name in os.environ:
                env[name] = os.environ[name]
        return env

    def _service_environment(self, env):
        env = dict(env, VELM_CONF_DIR=os.path.join(self.dir, "etc"),
                   CAMERA_SCENARIO=os.path.join(self.dir, "scenario"),
                   CAMERA_SPEED=repr(self.args.speed))
        if self.args.frame_log:
            env["CAMERA_LOG"] = os.path.join(self.dir, "frames")
        if self.args.lpr_odd:
            env["LPR_ODD"] = self.args.lpr_odd
        if self.args.fail == "shmgr":
            env["SHMGR_PREFIX"] = "no-stream-manager"
        env.update(self.args.env)
        return env

    def note(self, what):
        seconds = time.monotonic() - self._started if self._started else 0.0
        self._actions_file.write("%.3f %s\n" % (seconds, what))
        self._actions_file.flush()

    def run(self):
        self.prepare()
        sink = syslog_sink.SyslogSink(self.dir, "dev-log", os.path.join(self.dir, "log"),
                                      os.path.join(self.dir, "syslog-other"), "dravel")
        self._mount(sink.path)
        sink.start()
        # Passages of this run only: the net-base may hold earlier ones. Read
        # as the service sees it, which a tmpfs on the net-base may hold.
        self._passages = PassageCount(os.path.join(self.net_base, "netpassbase.csv"))
        env = self._environment()
        board_daemons = self.daemons = daemons.Daemons(self.tools, env, self.dir)
        self._actions_file = open(os.path.join(self.dir, "actions"), "a")
        the_service = None
        try:
            self._start_daemons(board_daemons, env)
            the_service = self._start_service(env)
            ended = self._end(the_service, self._follow(the_service, env))
        finally:
            # A run that failed half-way leaves no service behind.
            if the_service is not None and the_service.status is None:
                the_service.stop(0)
            board_daemons.stop()
            sink.stop()
            for leftover in glob.glob("/dev/shm" + env["SHMGR_PREFIX"] + ".*"):
                os.unlink(leftover)
            self._actions_file.close()
            self._tmpfs_back()
        self._summary(the_service, ended)
        if self.failure:
            print("board %s: %s" % (self.name, self.failure))
            return 1
        return 0

    def _start_daemons(self, board_daemons, env):
        if self.args.fail != "statemgr":
            board_daemons.start_state_manager()
            board_daemons.start_watch()
        if self.args.fail != "shmgr" and self.args.stream != "none":
            board_daemons.start_dump(self.args.stream == "passages",
                                     "/dev/shm" + env["SHMGR_PREFIX"] + ".0")

    def _start_service(self, env):
        service_env = self._service_environment(env)
        executable, argv = self.tools.service_command(service_env, self.args.detach,
                                                      self.args.preload)
        with open(os.path.join(self.dir, "command"), "w") as f:
            for name in sorted(service_env):
                f.write("%s=%s\n" % (name, service_env[name]))
            f.write(" ".join(argv) + "\n")
        ignored = [scenario.signal_number(name) for name in self.args.ignore]
        the_service = service.Service(executable, argv, service_env,
                                      os.path.join(self.dir, "output"), ignored, self.args.detach)
        startup = None
        if self.args.startup_signal:
            startup = self._startup_fifo(the_service)
        self._started = time.monotonic()
        self.note("start " + " ".join(argv))
        the_service.start()
        if startup:
            startup.start()
        return the_service

    def _startup_fifo(self, the_service):
        tz = os.path.join(self.dir, "etc", "TZ")
        text = b""
        if os.path.exists(tz):
            text = open(tz, "rb").read()
            os.unlink(tz)
        os.mkfifo(tz)
        signals = [scenario.signal_number(name) for name in self.args.startup_signal]
        return service.StartupSignals(tz, text, signals, the_service, self.note)

    def scenario_time(self):
        """Scenario seconds since the start, without the time held in waits."""
        return (time.monotonic() - self._started - self._held) * self.clock

    def _follow(self, the_service, env):
        """Performs the actions at their times until something ends the run;
        returns what did."""
        pending = list(self.actions)
        waiting = None  # the wait under way and when it gives up
        resources = open(os.path.join(self.dir, "resources"), "w")
        resources.write("# seconds rss_kb peak_rss_kb descriptors passages\n")
        next_sample = min(0.2, self.args.sample)  # once the service has started
        try:
            while True:
                now = time.monotonic() - self._started
                if now >= next_sample:
                    self._sample(the_service, resources, now)
                    next_sample += self.args.sample
                if not the_service.alive():
                    if self.args.restart == "no" or not service.failed(the_service.status):
                        return "the service ended by itself"
                    self.restarts.append(the_service.status)
                    self.note("restart after " + service.describe_status(the_service.status))
                    time.sleep(RESTART_SECONDS)
                    # The scenario goes on where it was, not from its start,
                    # and stands still at a wait under way.
                    held = self._held if not waiting else \
                        time.monotonic() - self._started - waiting[0].time / self.clock
                    the_service.env["CAMERA_EPOCH"] = repr(self._started + held)
                    the_service.start()
                    continue
                if waiting and self._shell(waiting[0].argument, env, the_service):
                    self._release(waiting[0])
                    waiting = None
                elif waiting and time.monotonic() >= waiting[1]:
                    self.failure = "the wait at line %d gave up after %d s: %s" % (
                        waiting[0].line, WAIT_SECONDS, waiting[0].argument)
                    return self.failure
                while not waiting and pending and pending[0].time <= self.scenario_time():
                    action = pending.pop(0)
                    if action.event == "stop":
                        return "the scenario's stop at %g s" % action.time
                    if action.event == "wait":
                        self.note(action.describe())
                        waiting = (action, time.monotonic() + WAIT_SECONDS)
                        break
                    self._perform(action, the_service, env)
                if self.args.duration and not waiting and \
                        self.scenario_time() >= self.args.duration:
                    return "--duration %g" % self.args.duration
                if self.args.until_passages and self._passages.count() >= self.args.until_passages:
                    return "%d passages" % self.args.until_passages
                if self.interrupted:
                    return "the runner was interrupted"
                time.sleep(WAIT_RETRY_SECONDS if waiting else 0.005)
        finally:
            self._sample(the_service, resources, time.monotonic() - self._started)
            resources.close()

    def _shell(self, command, env, the_service):
        """Runs a scenario's command inside the board, with the service's
        process id as it is now (a restart changes it); whether it
        succeeded."""
        env = dict(env, SERVICE_PID=str(the_service.pid))
        with open(os.path.join(self.dir, "actions-output"), "ab") as out:
            return subprocess.run(["sh", "-c", command], env=env, stdout=out,
                                  stderr=out).returncode == 0

    def _release(self, action):
        """Ends a wait: the scenario goes on from the wait's time, and the
        camera's hold, which its own clock keeps the same way, ends too."""
        self._held = time.monotonic() - self._started - action.time / self.clock
        open(scenario.hold_file(self.dir, action), "w").close()
        self.note("waited for line %d" % action.line)

    def _sample(self, the_service, resources, now):
        taken = the_service.sample() if the_service.pid else None
        if taken:
            self.peak_kb = max(self.peak_kb, taken[1])
            self.descriptors = sorted(set(self.descriptors) | {taken[2]})
            resources.write("%.3f %d %d %d %d\n" % ((now,) + taken + (self._passages.count(),)))
            resources.flush()

    def _perform(self, action, the_service, env):
        self.note(action.describe())
        if action.event == "photo":
            subprocess.run([self.tools.stmgrclient, "set", "s_make_photo", "1"], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        elif action.event == "signal":
            the_service.send(action.argument)
        elif action.event == "restart-statemgrd":
            self.daemons.restart_state_manager()
        elif action.event == "kill-statemgrd":
            self.daemons.kill_state_manager()
        elif action.event == "remove-stream":
            os.unlink("/dev/shm" + env["SHMGR_PREFIX"] + ".0")
        elif action.event == "run":
            self._shell(action.argument, env, the_service)

    def _end(self, the_service, reason):
        self.note("end: " + reason)
        if the_service.status is None and not the_service.stop(STOP_GRACE_SECONDS):
            self.note("the service did not end within %d s of SIGTERM and was killed" %
                      STOP_GRACE_SECONDS)
        lines = [service.describe_status(the_service.status)]
        if the_service.parent_status is not None:
            lines.append("parent " + service.describe_status(the_service.parent_status))
        lines.append("service pid %d" % the_service.pid)
        lines += ["restarted after " + service.describe_status(s) for s in self.restarts]
        with open(os.path.join(self.dir, "exit"), "w") as f:
            f.write("\n".join(lines) + "\n")
        return lines[0]

    def _summary(self, the_service, ended):
        seconds = time.monotonic() - self._started
        descriptors = self.descriptors
        print("board %s: service %s after %.1f s; %d lines in the pass journal; peak RSS %d kB; "
              "open descriptors %s; everything in %s" %
              (self.name, ended, seconds, self._passages.count(), self.peak_kb,
               "%d..%d" % (descriptors[0], descriptors[-1]) if descriptors else "-", self.dir))


class PassageCount:
    """Lines added to the pass journal's text file since the count began."""

    def __init__(self, path):
        self.path = path
        self.offset = os.path.getsize(path) if os.path.exists(path) else 0
        self.lines = 0

    def count(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                chunk = f.read()
        except OSError:
            return self.lines
        self.offset += len(chunk)
        self.lines += chunk.count(b"\n")
        return self.lines
