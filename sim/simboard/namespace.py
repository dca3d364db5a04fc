"""The board's own mount namespace: the service's fixed paths (/tmp,
/var/local, /mnt and /dev/log) are folders of the run directory inside it,
and nothing of the host's is touched. As root the runner only unshares the
mount namespace; otherwise it first enters a user namespace in which it is
root (as `unshare -Urm` does)."""

import ctypes
import errno
import os
import shutil
import stat

CLONE_NEWNS = 0x00020000
CLONE_NEWUSER = 0x10000000
MS_BIND = 4096
MS_REC = 16384
MS_PRIVATE = 1 << 18

# The paths that each board has for itself.
PRIVATE_ROOTS = ("/tmp", "/var/local", "/mnt")

_libc = ctypes.CDLL(None, use_errno=True)


def _check(result, what):
    if result != 0:
        number = ctypes.get_errno()
        raise OSError(number, "%s: %s" % (what, os.strerror(number)))


def _mount(source, target, fstype, flags, data=None):
    # Paths as the file system names them, which need not be UTF-8.
    _check(_libc.mount(os.fsencode(source) if source else None, os.fsencode(target),
                       fstype.encode() if fstype else None, ctypes.c_ulong(flags),
                       data.encode() if data else None),
           "mount %s on %s" % (source or fstype, target))


def bind(source, target):
    _mount(source, target, None, MS_BIND | MS_REC)


def enter():
    """Moves this (still single-threaded) process into a new mount
    namespace whose mounts do not propagate back to the host."""
    uid, gid = os.getuid(), os.getgid()
    if uid == 0:
        _check(_libc.unshare(CLONE_NEWNS), "unshare")
    else:
        _check(_libc.unshare(CLONE_NEWUSER | CLONE_NEWNS), "unshare")
        with open("/proc/self/setgroups", "w") as f:
            f.write("deny")
        with open("/proc/self/uid_map", "w") as f:
            f.write("0 %d 1" % uid)
        with open("/proc/self/gid_map", "w") as f:
            f.write("0 %d 1" % gid)
    _mount(None, "/", None, MS_REC | MS_PRIVATE)


def can_enter():
    """None when a child process can enter a namespace, else why not."""
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(read_end)
        try:
            enter()
            os.write(write_end, b"")
            os._exit(0)
        except OSError as error:
            os.write(write_end, str(error).encode())
            os._exit(1)
    os.close(write_end)
    message = os.read(read_end, 4096).decode()
    os.close(read_end)
    _, status = os.waitpid(pid, 0)
    return None if os.WIFEXITED(status) and os.WEXITSTATUS(status) == 0 else (
        message or "the namespace test process failed")


def private_root_of(path):
    """The private root under which `path` lies, or None."""
    for root in PRIVATE_ROOTS:
        if path == root or path.startswith(root + "/"):
            return root
    return None


def bind_keeping(source, target, keep):
    """Binds `source` over `target`, and binds back at their own paths the
    host folders of `keep` that lie under `target` (a build tree under /tmp,
    say), held open beforehand since the new mount hides their paths."""
    held = [(path, os.open(path, os.O_PATH | os.O_DIRECTORY)) for path in keep
            if path == target or path.startswith(target + "/")]
    bind(source, target)
    for path, descriptor in held:
        try:
            os.makedirs(path, exist_ok=True)
            bind("/proc/self/fd/%d" % descriptor, path)
        finally:
            os.close(descriptor)


def small_tmpfs(target, size):
    """A tmpfs of `size` on `target` that starts with what `target` held,
    copied from the folder that the mount hides."""
    held = os.open(target, os.O_PATH | os.O_DIRECTORY)
    try:
        _mount("tmpfs", target, "tmpfs", 0, "size=%s,mode=0755" % size)
        shutil.copytree("/proc/self/fd/%d" % held, target, symlinks=True, dirs_exist_ok=True)
    finally:
        os.close(held)


def private_dev(log_socket):
    """A /dev of the board's own: every entry of the host's /dev (devices,
    folders such as /dev/shm and /dev/pts, links), and the board's system log
    socket as /dev/log."""
    # The host's entries are held open, since the new /dev hides their paths.
    held = []
    for entry in os.scandir("/dev"):
        if entry.name == "log":
            continue
        if entry.is_symlink():
            held.append((entry.name, os.readlink(entry.path), None))
            continue
        mode = entry.stat(follow_symlinks=False).st_mode
        if not stat.S_ISSOCK(mode):
            held.append((entry.name, os.open(entry.path, os.O_PATH | os.O_NOFOLLOW), mode))
    _mount(None, "/dev", "tmpfs", 0)
    os.chmod("/dev", 0o755)
    for name, source, mode in held:
        target = "/dev/" + name
        if mode is None:
            os.symlink(source, target)
            continue
        if stat.S_ISDIR(mode):
            os.mkdir(target)
        else:
            open(target, "w").close()
        try:
            bind("/proc/self/fd/%d" % source, target)
        except OSError as error:
            # A host entry that cannot be bound from here (in a user
            # namespace, say) is left out.
            if error.errno not in (errno.EACCES, errno.EPERM, errno.EINVAL):
                raise
            os.rmdir(target) if stat.S_ISDIR(mode) else os.unlink(target)
        finally:
            os.close(source)
    open("/dev/log", "w").close()
    bind(log_socket, "/dev/log")
