"""What the process around the module may do to it: alter its classes, end a thread inside a call at exit, run
out of memory, or load it into a second interpreter. Each case that could crash runs in a child process."""

import json
import subprocess
import sys
import textwrap

import pytest


def run_child(code, timeout=60):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                          timeout=timeout)


def sanitized():
    with open("/proc/self/maps") as maps:
        return "libasan" in maps.read()


def test_classes_cannot_be_altered():
    # A replaced __new__ would make an object whose value was never built, and to_json would crash on it.
    child = run_child("""
        import json
        import veltrix_compute._compute as compute

        alterations = {
            "__new__": lambda cls: setattr(cls, "__new__", staticmethod(lambda c: object.__new__(c))),
            "new attribute": lambda cls: setattr(cls, "x", 1),
            "deleted method": lambda cls: delattr(cls, "to_json"),
        }
        accepted = []
        for name in (name for name in compute.__all__ if isinstance(getattr(compute, name), type)):
            for alteration, alter in alterations.items():
                try:
                    alter(getattr(compute, name))
                except TypeError:
                    pass
                else:
                    accepted.append([name, alteration])
        print(json.dumps(accepted))
        """)
    assert child.returncode == 0, child.stderr
    assert json.loads(child.stdout) == []


# Daemon threads caught inside a module call when the interpreter exits: one in an operator's __float__, one in
# a list conversion's __getitem__. Each thread keeps giving up and taking back the interpreter lock, and the
# interpreter ends it (pthread_exit) when it asks for the lock after exit has begun.
DAEMONS_AT_EXIT = """
    import threading
    import time

    from veltrix_compute._compute import NumericSeries

    inside = [threading.Event(), threading.Event()]

    def sleep_forever(event):
        event.set()
        while True:
            time.sleep(0.0005)

    class SlowNumber:
        def __float__(self):
            sleep_forever(inside[0])

    class SlowSequence:
        def __len__(self):
            return 3

        def __getitem__(self, index):
            sleep_forever(inside[1])

    series = NumericSeries.Reference("s")
    threading.Thread(target=lambda: series * SlowNumber(), daemon=True).start()
    threading.Thread(target=lambda: NumericSeries.Max(SlowSequence()), daemon=True).start()
    assert all(event.wait(30) for event in inside)
    """


def test_daemon_threads_inside_calls_at_exit():
    outcomes = [run_child(DAEMONS_AT_EXIT) for _ in range(20)]
    assert [child.returncode for child in outcomes] == [0] * 20, [child.stderr for child in outcomes]


# Forks one process per margin: each exhausts the heap under RLIMIT_AS, frees `margin` bytes in one piece and
# meets the process's first internal failure, which must make the PanicException class. Afterwards, with the
# memory given back, a second internal failure must still raise PanicException.
FIRST_INTERNAL_FAILURE_WITHOUT_MEMORY = """
    import ctypes
    import json
    import os
    import resource

    import veltrix_compute._compute as compute

    libc = ctypes.CDLL(None)
    libc.malloc.restype = ctypes.c_void_p
    libc.malloc.argtypes = [ctypes.c_size_t]
    libc.free.argtypes = [ctypes.c_void_p]
    blocks = (ctypes.c_void_p * 200_000)()
    # Large blocks first, then every small size, so that no size class of the C allocator keeps a free block.
    SIZES = (65536, 4096, 256) + tuple(range(1024, 0, -16))
    OUTCOMES = {10: "MemoryError", 11: "PanicException", 12: "other exception", 13: "no exception"}


    def outcome():
        try:
            compute.IntegerConstant.Literal(2**40)
        except MemoryError:
            return 10
        except BaseException as error:  # noqa: BLE001 - PanicException derives from BaseException
            return 11 if type(error).__name__ == "PanicException" else 12
        return 13


    def exhaust_all_but(margin):
        count = 0
        for size in SIZES:
            while count < len(blocks):
                block = libc.malloc(size)
                if not block:
                    break
                blocks[count] = block
                count += 1
        # One 64 KiB block is taken back less the margin, which is then all the heap has left.
        libc.free(blocks[0])
        blocks[0] = libc.malloc(65536 - margin)
        return count


    def child(margin):
        with open("/proc/self/status") as status:
            size_kib = next(int(line.split()[1]) for line in status if line.startswith("VmSize"))
        resource.setrlimit(resource.RLIMIT_AS, ((size_kib + 16 * 1024) * 1024, resource.RLIM_INFINITY))
        count = exhaust_all_but(margin)
        first = outcome()
        for index in range(count):
            libc.free(blocks[index])
        return first if outcome() == 11 else 12


    results = {}
    for margin in range(0, 8192, 16):
        pid = os.fork()
        if pid == 0:
            code = 12
            try:
                code = child(margin)
            finally:
                os._exit(code)
        _, status = os.waitpid(pid, 0)
        code = os.waitstatus_to_exitcode(status)
        results[margin] = OUTCOMES.get(code, f"ended with {code}")
    print(json.dumps(results))
    """


@pytest.mark.skipif(sanitized(), reason="the address sanitizer reserves terabytes of address space for its "
                                        "shadow memory, so no RLIMIT_AS can be set under it")
def test_first_internal_failure_without_memory():
    child = run_child(FIRST_INTERNAL_FAILURE_WITHOUT_MEMORY, timeout=120)
    assert child.returncode == 0, child.stderr
    outcomes = set(json.loads(child.stdout).values())
    # Both outcomes show that the sweep crossed the margin the class needs.
    assert outcomes == {"MemoryError", "PanicException"}


def test_a_second_interpreter_is_refused():
    testcapi = pytest.importorskip("_testcapi", reason="this interpreter has no _testcapi")
    if not hasattr(testcapi, "run_in_subinterp"):
        pytest.skip("this interpreter's _testcapi cannot run a subinterpreter")
    child = run_child("""
        import os
        import _testcapi
        import veltrix_compute._compute as compute

        compute.Duration.Days(1).to_json()
        read_end, write_end = os.pipe()
        _testcapi.run_in_subinterp(f'''
        import os
        try:
            import veltrix_compute._compute
        except ImportError as error:
            os.write({write_end}, str(error).encode())
        ''')
        os.close(write_end)
        print(os.read(read_end, 1000).decode())
        print(compute.IntegerConstant.Literal(3).to_json())
        """)
    assert child.returncode == 0, child.stderr
    assert child.stdout.splitlines() == [
        "_compute supports one interpreter per process, and another interpreter of this process already uses it",
        '{"type":"literal","literal":3}',
    ]
