#!/usr/bin/python3
"""A read-only FUSE file system over a folder whose one file answers reads past an offset with
EIO, as a damaged disk or a vanished network file does.

    failing_reads_fs.py FOLDER MOUNTPOINT NAME OFFSET

Every file of FOLDER reads as it is, but NAME: a read reaching OFFSET gets the bytes before
it and the next read fails with EIO. Direct I/O keeps the kernel from reading ahead, so each
read of a program reaches this process as it was made. Runs until unmounted.
"""
import errno
import os
import sys

import fusepy


class FailingReads(fusepy.Operations):
    def __init__(self, folder, name, offset):
        self.folder = folder
        self.name = "/" + name
        self.offset = offset

    def _path(self, path):
        return os.path.join(self.folder, path.lstrip("/"))

    def getattr(self, path, fh=None):
        st = os.lstat(self._path(path))
        keys = ("st_mode", "st_size", "st_nlink", "st_uid", "st_gid", "st_atime", "st_mtime",
                "st_ctime")
        return {key: getattr(st, key) for key in keys}

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self._path(path))

    def open(self, path, flags):
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise fusepy.FuseOSError(errno.EROFS)
        return os.open(self._path(path), os.O_RDONLY)

    def read(self, path, size, offset, fh):
        if path == self.name and offset + size > self.offset:
            if offset >= self.offset:
                raise fusepy.FuseOSError(errno.EIO)
            size = self.offset - offset
        return os.pread(fh, size, offset)

    def release(self, path, fh):
        os.close(fh)
        return 0


if __name__ == "__main__":
    folder, mountpoint, name, offset = sys.argv[1:5]
    fusepy.FUSE(FailingReads(folder, name, int(offset)), mountpoint, foreground=True,
                direct_io=True, ro=True)
