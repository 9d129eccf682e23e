#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""A folder seen through FUSE whose writes a test can pause, and turn read-only meanwhile.

    pausing_fs.py BACKING MOUNT_POINT CONTROL [PATTERN OFFSET]...

The first write to a file whose path below the mount point (or whose name) matches PATTERN
(fnmatch) and that reaches OFFSET waits: CONTROL/paused is made, holding the path, and the
write goes on once CONTROL/go exists (both are then removed). While CONTROL/readonly exists
every change fails with EROFS. Names and attributes are not cached by the kernel, so what a
test changes in BACKING is seen through the mount at once. Runs in the foreground until
unmounted.
"""
import errno
import fnmatch
import os
import sys
import time

from fusepy import FUSE, FuseOSError, Operations


class Pausing(Operations):
    def __init__(self, backing, control, rules):
        self.backing, self.control, self.rules = backing, control, list(rules)

    def real(self, path):
        return os.path.join(self.backing, path.lstrip("/"))

    def changing(self):
        if os.path.exists(os.path.join(self.control, "readonly")):
            raise FuseOSError(errno.EROFS)

    def pause(self, path, offset, size):
        name = path.lstrip("/")
        for rule in self.rules:
            pattern, at = rule
            if (fnmatch.fnmatchcase(name, pattern) or
                    fnmatch.fnmatchcase(os.path.basename(name), pattern)) and offset + size > at:
                self.rules.remove(rule)
                paused, go = (os.path.join(self.control, f) for f in ("paused", "go"))
                with open(paused + ".new", "w") as note:
                    note.write(name)
                os.rename(paused + ".new", paused)
                deadline = time.monotonic() + 120
                while not os.path.exists(go) and time.monotonic() < deadline:
                    time.sleep(0.01)
                for done in (go, paused):
                    if os.path.exists(done):
                        os.unlink(done)
                return

    def __call__(self, op, *args):
        try:
            return super().__call__(op, *args)
        except OSError as error:
            if isinstance(error, FuseOSError):
                raise
            raise FuseOSError(error.errno) from error

    def getattr(self, path, fh=None):
        info = os.lstat(self.real(path))
        return {key: getattr(info, key) for key in (
            "st_mode", "st_nlink", "st_size", "st_uid", "st_gid", "st_atime", "st_mtime",
            "st_ctime", "st_ino")}

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self.real(path))

    def readlink(self, path):
        return os.readlink(self.real(path))

    def access(self, path, mode):
        if not os.access(self.real(path), mode):
            raise FuseOSError(errno.EACCES)

    def open(self, path, flags):
        if flags & (os.O_WRONLY | os.O_RDWR | os.O_TRUNC):
            self.changing()
        return os.open(self.real(path), flags)

    def create(self, path, mode, fi=None):
        self.changing()
        return os.open(self.real(path), os.O_RDWR | os.O_CREAT | os.O_EXCL, mode)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        self.pause(path, offset, len(data))
        self.changing()
        return os.pwrite(fh, data, offset)

    def truncate(self, path, length, fh=None):
        self.changing()
        os.truncate(self.real(path), length)

    def flush(self, path, fh):
        return 0

    def fsync(self, path, datasync, fh):
        os.fsync(fh)

    def release(self, path, fh):
        os.close(fh)

    def unlink(self, path):
        self.changing()
        os.unlink(self.real(path))

    def mkdir(self, path, mode):
        self.changing()
        os.mkdir(self.real(path), mode)

    def rmdir(self, path):
        self.changing()
        os.rmdir(self.real(path))

    def rename(self, old, new):
        self.changing()
        os.rename(self.real(old), self.real(new))

    def link(self, target, source):
        self.changing()
        os.link(self.real(source), self.real(target))

    def symlink(self, target, source):
        self.changing()
        os.symlink(source, self.real(target))

    def chmod(self, path, mode):
        self.changing()
        os.chmod(self.real(path), mode)

    def chown(self, path, uid, gid):
        self.changing()
        os.chown(self.real(path), uid, gid)

    def utimens(self, path, times=None):
        self.changing()
        os.utime(self.real(path), times, follow_symlinks=False)

    def statfs(self, path):
        info = os.statvfs(self.real(path))
        return {key: getattr(info, key) for key in (
            "f_bavail", "f_bfree", "f_blocks", "f_bsize", "f_favail", "f_ffree", "f_files",
            "f_flag", "f_frsize", "f_namemax")}

    def setxattr(self, path, name, value, options, position=0):
        self.changing()
        os.setxattr(self.real(path), name, value, options, follow_symlinks=False)

    def getxattr(self, path, name, position=0):
        try:
            return os.getxattr(self.real(path), name, follow_symlinks=False)
        except OSError as error:
            raise FuseOSError(error.errno) from error

    def listxattr(self, path):
        return os.listxattr(self.real(path), follow_symlinks=False)

    def removexattr(self, path, name):
        self.changing()
        os.removexattr(self.real(path), name, follow_symlinks=False)


if __name__ == "__main__":
    arguments = sys.argv[1:]
    if len(arguments) < 3 or len(arguments) % 2 == 0:
        sys.exit(__doc__)
    rules = [(arguments[i], int(arguments[i + 1])) for i in range(3, len(arguments), 2)]
    FUSE(Pausing(os.path.abspath(arguments[0]), os.path.abspath(arguments[2]), rules),
         arguments[1], foreground=True, nothreads=False, direct_io=True, use_ino=True,
         entry_timeout=0, attr_timeout=0, negative_timeout=0, hard_remove=True)
