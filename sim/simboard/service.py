"""The service process of a board: started as on the board (or with -f),
watched through /proc, and ended with SIGTERM."""

import ctypes
import errno
import os
import signal
import threading
import time

from simboard import waiting

# The signals the service treats as fatal; each starts at its default
# action unless the board is asked to start the service with it ignored.
FATAL_SIGNALS = (signal.SIGSEGV, signal.SIGBUS, signal.SIGFPE, signal.SIGQUIT, signal.SIGINT,
                 signal.SIGTERM)
PR_SET_CHILD_SUBREAPER = 36


def failed(status):
    """Whether systemd counts the end as a failure for Restart=on-failure."""
    if os.WIFSIGNALED(status):
        return os.WTERMSIG(status) not in (signal.SIGHUP, signal.SIGINT, signal.SIGTERM,
                                           signal.SIGPIPE)
    return os.WEXITSTATUS(status) != 0


def describe_status(status):
    if os.WIFSIGNALED(status):
        return "signal %d" % os.WTERMSIG(status)
    return "exit %d" % os.WEXITSTATUS(status)


class Service:
    def __init__(self, executable, argv, env, output_path, ignored, detach):
        self.executable = executable
        self.argv = argv
        self.env = env
        self.output_path = output_path
        self.ignored = set(ignored)
        self.detach = detach
        self.pid = None         # the process that runs the loop
        self.status = None      # its wait status once it ended
        self.parent_status = None  # with detach: the starting process's
        self.started = None     # monotonic time of the start
        self._parent = None     # with detach: the starting process, until it ends

    def start(self):
        if self.detach:
            # The detached service becomes this runner's child again, so it
            # can be watched and waited for like one started in the foreground.
            libc = ctypes.CDLL(None, use_errno=True)
            libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)
        saved = {sig: signal.signal(sig, signal.SIG_IGN) for sig in self.ignored}
        try:
            self.started = time.monotonic()
            self.status = self.parent_status = None
            pid = os.posix_spawn(
                self.executable, self.argv, self.env,
                file_actions=[(os.POSIX_SPAWN_OPEN, 0, "/dev/null", os.O_RDONLY, 0),
                              (os.POSIX_SPAWN_OPEN, 1, self.output_path,
                               os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644),
                              (os.POSIX_SPAWN_DUP2, 1, 2)],
                setsigdef=[sig for sig in FATAL_SIGNALS + (signal.SIGUSR1, signal.SIGPIPE)
                           if sig not in self.ignored],
                setsigmask=[],
                # A Ctrl-C at the runner's terminal reaches the runner alone,
                # which stops the service with one SIGTERM; a SIGINT of its own
                # on top would be a second stop signal and end it at once.
                setpgroup=0)
        finally:
            for sig, handler in saved.items():
                signal.signal(sig, handler)
        self.pid = pid
        self._parent = pid if self.detach else None

    def _parent_ended(self):
        """With detach: False while the starting process runs; once it has
        ended, follows the service it left behind (True), or takes its end
        as the service's when start-up failed before detaching."""
        pid, status = os.waitpid(self._parent, os.WNOHANG)
        if pid == 0:
            return False
        self._parent = None
        self.parent_status = status
        if not os.WIFEXITED(status) or os.WEXITSTATUS(status) == 1:
            self.status = status
            return True
        children = []

        def adopted():
            children[:] = self._children()
            return bool(children)

        waiting.until(adopted, 10, "the service to detach")
        self.pid = children[0]
        return True

    def _children(self):
        mine = str(os.getpid())
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/stat" % entry) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            # The service makes itself a session leader once it detached.
            if fields[1] == mine and fields[3] == entry:
                found.append(int(entry))
        return found

    def alive(self):
        if self._parent is not None and not self._parent_ended():
            return True
        if self.status is not None:
            return False
        try:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
        except ChildProcessError:
            self.status = 0
            return False
        if pid == 0:
            return True
        self.status = status
        return False

    def kill(self, sig):
        if self.alive():
            os.kill(self.pid, sig)

    def send(self, signals):
        """Sends the signals one after the other, each once the service has
        taken the one before (standard signals sent while one of their kind
        is still pending would merge into one). To a stopped service they go
        out at once: they are taken together when it continues."""
        for sig in signals:
            if not self.alive():
                return
            os.kill(self.pid, sig)
            if sig == signal.SIGSTOP:
                waiting.until(lambda: self._state() in ("T", None), 1, "the service to stop")
            elif sig != signal.SIGCONT:
                try:
                    waiting.until(lambda: not self._pending(sig), 1, "the signal", step=0.0002)
                except RuntimeError:
                    pass  # blocked for long: it goes out with the next one

    def _state(self):
        try:
            with open("/proc/%d/stat" % self.pid) as f:
                return f.read().rsplit(")", 1)[1].split()[0]
        except OSError:
            return None

    def _pending(self, sig):
        if self._state() in ("T", "Z", None):
            return False
        try:
            with open("/proc/%d/status" % self.pid) as f:
                masks = [int(line.split()[1], 16) for line in f
                         if line.startswith(("SigPnd:", "ShdPnd:"))]
        except OSError:
            return False
        return any(mask & (1 << (sig - 1)) for mask in masks)

    def stop(self, grace):
        """SIGTERM, then up to `grace` seconds for the loop to end; a service
        that does not end in time is killed. True when it ended by itself."""
        self.kill(signal.SIGTERM)
        deadline = time.monotonic() + grace
        while self.alive():
            if time.monotonic() > deadline:
                os.kill(self.pid, signal.SIGKILL)
                self.status = os.waitpid(self.pid, 0)[1]
                return False
            time.sleep(0.02)
        return True

    def sample(self):
        """(VmRSS kB, VmHWM kB, open descriptors), or None once it is gone."""
        try:
            with open("/proc/%d/status" % self.pid) as f:
                fields = dict(line.split(":", 1) for line in f if ":" in line)
            descriptors = len(os.listdir("/proc/%d/fd" % self.pid))
        except (OSError, ValueError):
            return None
        kb = lambda name: int(fields.get(name, "0 kB").split()[0])
        return kb("VmRSS"), kb("VmHWM"), descriptors


class StartupSignals(threading.Thread):
    """Delivers signals while the service is inside its start-up: the board's
    TZ file is a FIFO, which the service opens at start-up and reads before it
    detaches and starts its loop. Once it has the FIFO open the signals are
    sent, then the TZ text is handed over."""

    def __init__(self, fifo, text, signals, service, note):
        super().__init__(daemon=True)
        self.fifo = fifo
        self.text = text
        self.signals = signals
        self.service = service
        self.note = note

    def run(self):
        while True:
            try:
                fd = os.open(self.fifo, os.O_WRONLY | os.O_NONBLOCK)
                break
            except OSError as error:
                if error.errno != errno.ENXIO or self.service.status is not None:
                    return
                time.sleep(0.001)
        self.service.send(self.signals)
        self.note("start-up signal " + " ".join(signal.Signals(s).name for s in self.signals))
        try:
            os.set_blocking(fd, True)
            os.write(fd, self.text)
        except BrokenPipeError:
            pass
        finally:
            os.close(fd)
