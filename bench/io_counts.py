"""Runs a command and prints the bytes it read and wrote, as the kernel
counted its read and write calls (/proc/self/io of this process takes in
those of a child it waits for), and its CPU time.

  io_counts.py COMMAND...   prints "READ<TAB>WRITTEN<TAB>CPU_SECONDS"
"""
import resource
import subprocess
import sys


def counts():
    values = {}
    with open("/proc/self/io") as f:
        for line in f:
            key, value = line.split(":")
            values[key] = int(value)
    return values["rchar"], values["wchar"]


def main(command):
    read0, written0 = counts()
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    read1, written1 = counts()
    cpu = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
    print("%d\t%d\t%.3f" % (read1 - read0, written1 - written0, cpu))


if __name__ == "__main__":
    main(sys.argv[1:])
