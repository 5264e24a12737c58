// Module entry on POSIX.
