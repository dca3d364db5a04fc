"""The board's own programs beside the service: the state manager, a watch
of its states and events, and the dump of the service's stream."""

import os
import signal
import subprocess

from simboard import waiting


class Daemons:
    def __init__(self, tools, env, board_dir):
        self.tools = tools
        self.env = env
        self.board_dir = board_dir
        self.processes = []  # (name, Popen), in the order started
        self._errors = open(os.path.join(board_dir, "daemons"), "ab")

    def _start(self, name, argv, stdout):
        # Out of the terminal's reach, as the service: the runner ends them
        # after the service, which still reports to the state manager.
        process = subprocess.Popen(argv, env=self.env, stdin=subprocess.DEVNULL, stdout=stdout,
                                   stderr=self._errors, process_group=0)
        self.processes.append((name, process))
        return process

    def _gone(self, process, what):
        if process.poll() is not None:
            raise RuntimeError("%s ended at once (exit %s); see %s" %
                               (what, process.returncode,
                                os.path.join(self.board_dir, "daemons")))
        return False

    def start_state_manager(self):
        socket_path = self.env["STATEMGR_SOCKET"]
        daemon = self._start("statemgrd", [self.tools.statemgrd, "-f"], subprocess.DEVNULL)

        # The socket's file appears when it is bound, a moment before it
        # listens: the daemon is ready once it answers.
        def answering():
            self._gone(daemon, "statemgrd")
            return os.path.exists(socket_path) and subprocess.run(
                [self.tools.stmgrclient, "clients"], env=self.env, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL).returncode == 0

        waiting.until(answering, 10, "statemgrd to answer at " + socket_path)

    def kill_state_manager(self):
        """Kills the state manager as a crash would; its socket's file stays,
        naming nobody."""
        for name, process in self.processes:
            if name == "statemgrd" and process.poll() is None:
                process.kill()
                process.wait()

    def restart_state_manager(self):
        """Kills the state manager as a crash would, and starts it and a
        new watch again, as the board's init does."""
        self.kill_state_manager()
        socket_path = self.env["STATEMGR_SOCKET"]
        if os.path.exists(socket_path):
            os.unlink(socket_path)
        self.start_state_manager()
        self.start_watch()

    def start_watch(self):
        """Every state change and event into the board's events file, from
        before the service starts."""
        events = open(os.path.join(self.board_dir, "events"), "ab")
        watch = self._start("watch", [self.tools.stmgrclient, "watch"], events)
        events.close()
        name = "stmgrclient.%d " % watch.pid

        def watching():
            self._gone(watch, "stmgrclient watch")
            listing = subprocess.run([self.tools.stmgrclient, "clients"], env=self.env,
                                     capture_output=True, text=True).stdout
            # A watcher has made its start and its watch request.
            return any(line.startswith(name) and int(line.split()[-1]) >= 2
                       for line in listing.splitlines())

        waiting.until(watching, 10, "the state manager's watch")

    def start_dump(self, passages_only, shm_file):
        """The stream's blocks into the board's stream file and the passages'
        JPEGs into stream-jpeg/; the dump waits for the channel before the
        service starts and shows it from its first block."""
        jpegs = os.path.join(self.board_dir, "stream-jpeg")
        os.makedirs(jpegs, exist_ok=True)
        argv = [self.tools.shmgr_dump, "--wait", "-j", jpegs] + (["-p"] if passages_only else [])
        stream = open(os.path.join(self.board_dir, "stream"), "ab")
        dump = self._start("shmgr-dump", argv, stream)
        stream.close()
        daemons = os.path.join(self.board_dir, "daemons")

        def waiting_for_channel():
            with open(daemons, errors="replace") as f:
                return "waiting for it" in f.read()

        waiting.until(lambda: os.path.exists(shm_file) or waiting_for_channel()
                      or self._gone(dump, "shmgr-dump"), 60, "shmgr-dump to wait for the stream")

    def stop(self):
        """Lets the watch and the dump take the service's last words, then
        ends every daemon, the state manager last."""
        for name in ("events", "stream"):
            waiting.settled(os.path.join(self.board_dir, name))
        for name, process in reversed(self.processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self._errors.close()
