#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""A folder seen through FUSE, where reads of some files fail with EIO from an offset on.

    failing_reads_fs.py BACKING MOUNT_POINT [PATTERN OFFSET]...

PATTERN (fnmatch) is matched against a path below the mount point, e.g. "r3/*.bqx". Runs in
the foreground until unmounted; direct I/O, so that no page cache hides a failure.
"""
import errno
import fnmatch
import os
import sys

from fusepy import FUSE, FuseOSError, Operations


class FailingReads(Operations):
    def __init__(self, backing, rules):
        self.backing, self.rules = backing, rules

    def real(self, path):
        return os.path.join(self.backing, path.lstrip("/"))

    def getattr(self, path, fh=None):
        info = os.lstat(self.real(path))
        return {key: getattr(info, key) for key in ("st_mode", "st_nlink", "st_size", "st_uid",
                                                    "st_gid", "st_atime", "st_mtime", "st_ctime")}

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self.real(path))

    def open(self, path, flags):
        return os.open(self.real(path), flags)

    def create(self, path, mode, fi=None):
        return os.open(self.real(path), os.O_RDWR | os.O_CREAT, mode)

    def read(self, path, size, offset, fh):
        for pattern, failing in self.rules:
            if fnmatch.fnmatchcase(path.lstrip("/"), pattern):
                if offset >= failing:
                    raise FuseOSError(errno.EIO)
                size = min(size, failing - offset)
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        return os.pwrite(fh, data, offset)

    def truncate(self, path, length, fh=None):
        os.truncate(self.real(path), length)

    def unlink(self, path):
        os.unlink(self.real(path))

    def release(self, path, fh):
        os.close(fh)


if __name__ == "__main__":
    arguments = sys.argv[1:]
    if len(arguments) < 2 or len(arguments) % 2:
        sys.exit(__doc__)
    rules = [(arguments[i], int(arguments[i + 1])) for i in range(2, len(arguments), 2)]
    FUSE(FailingReads(os.path.abspath(arguments[0]), rules), arguments[1], foreground=True,
         nothreads=True, direct_io=True)
