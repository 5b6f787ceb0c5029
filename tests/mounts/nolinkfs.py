#!/usr/bin/python3
# A folder mounted through FUSE the way desktop share mounts behave: no hard
# links, no rename flags (the kernel answers RENAME_NOREPLACE with EINVAL once
# the file system has no rename2), and with --no-rename-over no rename onto an
# existing name either. With --write-delay-ms N every 4 KiB written waits N ms,
# as a slow share does (40 ms: about 100 KB/s). Usage:
# nolinkfs.py BACKING MOUNTPOINT [--no-rename-over] [--write-delay-ms N]
import errno
import os
import sys
import time

from fusepy import FUSE, FuseOSError, Operations


class NoLinkFs(Operations):
    def __init__(self, root, rename_over, write_delay):
        self.root = root
        self.rename_over = rename_over
        self.write_delay = write_delay

    def _path(self, path):
        return os.path.join(self.root, path.lstrip('/'))

    def getattr(self, path, fh=None):
        st = os.lstat(self._path(path))
        return {key: getattr(st, key) for key in (
            'st_mode', 'st_nlink', 'st_uid', 'st_gid', 'st_size',
            'st_atime', 'st_mtime', 'st_ctime')}

    def readdir(self, path, fh):
        return ['.', '..'] + os.listdir(self._path(path))

    def access(self, path, mode):
        if not os.access(self._path(path), mode):
            raise FuseOSError(errno.EACCES)

    def chmod(self, path, mode):
        os.chmod(self._path(path), mode)

    def chown(self, path, uid, gid):
        os.chown(self._path(path), uid, gid)

    def utimens(self, path, times=None):
        os.utime(self._path(path), times)

    def mkdir(self, path, mode):
        os.mkdir(self._path(path), mode)

    def rmdir(self, path):
        os.rmdir(self._path(path))

    def unlink(self, path):
        os.unlink(self._path(path))

    def link(self, target, name):
        raise FuseOSError(errno.EPERM)

    def symlink(self, name, target):
        raise FuseOSError(errno.EPERM)

    def rename(self, old, new):
        if not self.rename_over and os.path.lexists(self._path(new)):
            raise FuseOSError(errno.EEXIST)
        os.rename(self._path(old), self._path(new))

    def statfs(self, path):
        st = os.statvfs(self._path(path))
        return {key: getattr(st, key) for key in (
            'f_bavail', 'f_bfree', 'f_blocks', 'f_bsize', 'f_favail',
            'f_ffree', 'f_files', 'f_flag', 'f_frsize', 'f_namemax')}

    def open(self, path, flags):
        return os.open(self._path(path), flags)

    def create(self, path, mode, fi=None):
        return os.open(self._path(path), os.O_WRONLY | os.O_CREAT | os.O_EXCL, mode)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        if self.write_delay:
            time.sleep(self.write_delay * ((len(data) + 4095) // 4096))
        return os.pwrite(fh, data, offset)

    def truncate(self, path, length, fh=None):
        if fh is None:
            os.truncate(self._path(path), length)
        else:
            os.ftruncate(fh, length)

    def flush(self, path, fh):
        return 0

    def release(self, path, fh):
        os.close(fh)

    def fsync(self, path, datasync, fh):
        if datasync:
            os.fdatasync(fh)
        else:
            os.fsync(fh)


if __name__ == '__main__':
    options = sys.argv[3:]
    delay = 0.0
    if '--write-delay-ms' in options:
        delay = int(options[options.index('--write-delay-ms') + 1]) / 1000.0
    # A slow share takes small writes, so a copy lands a little at a time,
    # and what it holds is asked afresh each time.
    extra = {'max_write': 4096, 'attr_timeout': 0, 'entry_timeout': 0} if delay else {}
    FUSE(NoLinkFs(sys.argv[1], '--no-rename-over' not in options, delay), sys.argv[2],
         foreground=True, nothreads=True, fsname='nolinkfs', subtype='nolinkfs',
         hard_remove=True, **extra)
