#!/usr/bin/python3
"""A file system for the tests: a view of a folder, read and written through, in which the
reads of some files fail with EIO from a given offset on, as a damaged disk, a vanished
network file or a failing file system answers.

    failing_reads_fs.py BACKING MOUNT_POINT [PATTERN OFFSET]...

PATTERN is matched (fnmatch) against a file's path below the mount point, such as
"row3/victim.bin" or "row5/*.bqx"; a read of a matching file that starts at OFFSET or later
fails, and one that would run past OFFSET stops there. Runs in the foreground until the
mount point is unmounted. Every read reaches this process as the program asked it (direct
I/O), so that no page cache hides the failure or fills the pages with zeros.
"""
import errno
import fnmatch
import os
import sys

from fusepy import FUSE, FuseOSError, Operations

STAT_FIELDS = ("st_mode", "st_nlink", "st_size", "st_uid", "st_gid", "st_atime", "st_mtime",
               "st_ctime")


class FailingReads(Operations):
    def __init__(self, backing, rules):
        self.backing = backing
        self.rules = rules

    def _real(self, path):
        return os.path.join(self.backing, path.lstrip("/"))

    def _fails_from(self, path):
        for pattern, offset in self.rules:
            if fnmatch.fnmatchcase(path.lstrip("/"), pattern):
                return offset
        return None

    def getattr(self, path, fh=None):
        info = os.lstat(self._real(path))
        return {field: getattr(info, field) for field in STAT_FIELDS}

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self._real(path))

    def statfs(self, path):
        info = os.statvfs(self._real(path))
        return {field: getattr(info, field) for field in
                ("f_bsize", "f_frsize", "f_blocks", "f_bfree", "f_bavail", "f_files", "f_ffree",
                 "f_favail", "f_flag", "f_namemax")}

    def open(self, path, flags):
        return os.open(self._real(path), flags)

    def create(self, path, mode, fi=None):
        return os.open(self._real(path), os.O_RDWR | os.O_CREAT, mode)

    def read(self, path, size, offset, fh):
        fails_from = self._fails_from(path)
        if fails_from is not None:
            if offset >= fails_from:
                raise FuseOSError(errno.EIO)
            size = min(size, fails_from - offset)
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        return os.pwrite(fh, data, offset)

    def truncate(self, path, length, fh=None):
        os.truncate(self._real(path), length)

    def unlink(self, path):
        os.unlink(self._real(path))

    def mkdir(self, path, mode):
        os.mkdir(self._real(path), mode)

    def rmdir(self, path):
        os.rmdir(self._real(path))

    def chmod(self, path, mode):
        os.chmod(self._real(path), mode)

    def utimens(self, path, times=None):
        os.utime(self._real(path), times)

    def release(self, path, fh):
        os.close(fh)

    def flush(self, path, fh):
        return 0

    def fsync(self, path, datasync, fh):
        return 0


def main(arguments):
    if len(arguments) < 2 or len(arguments) % 2 != 0:
        sys.exit(__doc__)
    backing, mount_point = arguments[0], arguments[1]
    rules = [(arguments[i], int(arguments[i + 1])) for i in range(2, len(arguments), 2)]
    FUSE(FailingReads(os.path.abspath(backing), rules), mount_point, foreground=True,
         nothreads=True, direct_io=True)


if __name__ == "__main__":
    main(sys.argv[1:])
