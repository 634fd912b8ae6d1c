"""What the process around the module may do to it: alter its classes, end a thread inside a call at exit, run
out of memory, or load it into a second interpreter. Each case that could crash runs in a child process."""

import json
import subprocess
import sys
import textwrap

import pytest
from conftest import sanitized


def run_child(code, timeout=60, prelude=""):
    return subprocess.run([sys.executable, "-c", textwrap.dedent(prelude) + textwrap.dedent(code)],
                          capture_output=True, text=True, timeout=timeout)


# What the children that limit their memory share: the address-space limit at a headroom above what the process
# maps now, lifted again, and a function run in a forked process whose exit code is its outcome (12 if it raised).
MEMORY_LIMITS = """
    import os
    import resource

    _, HARD = resource.getrlimit(resource.RLIMIT_AS)


    def limit_address_space(headroom_mib):
        with open("/proc/self/status") as status:
            size_kib = next(int(line.split()[1]) for line in status if line.startswith("VmSize"))
        resource.setrlimit(resource.RLIMIT_AS, ((size_kib + headroom_mib * 1024) * 1024, HARD))


    def lift_address_space_limit():
        resource.setrlimit(resource.RLIMIT_AS, (HARD, HARD))


    def exit_code_in_fork(work):
        pid = os.fork()
        if pid == 0:
            code = 12
            try:
                code = work()
            finally:
                os._exit(code)
        return os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])
    """


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


# The module first imported by an atexit callback, when a callback registered then no longer runs, while four
# daemon threads wait to call it; the callback returns once each is inside `sum`.
LATE_IMPORT_AT_EXIT = """
    import atexit
    import os
    import threading
    import time

    start = threading.Event()
    inside = [threading.Event() for _ in range(4)]


    class Endless:
        def __init__(self, reached):
            self.reached = reached

        def __len__(self):
            return 200_000

        def __getitem__(self, index):
            if index < 100_000:
                return compute.NumericSeries.Reference("s")
            self.reached.set()
            while True:
                time.sleep(0.0005)


    def call_sum(reached):
        global compute
        start.wait()
        import veltrix_compute._compute as compute
        compute.sum(Endless(reached))


    for reached in inside:
        threading.Thread(target=call_sum, args=(reached,), daemon=True).start()


    @atexit.register
    def import_late():
        import veltrix_compute._compute  # noqa: F401
        start.set()
        if not all(reached.wait(30) for reached in inside):
            os._exit(3)
    """


@pytest.mark.parametrize("program", [DAEMONS_AT_EXIT, LATE_IMPORT_AT_EXIT], ids=["imported first", "imported late"])
def test_daemon_threads_inside_calls_at_exit(program):
    children = [subprocess.Popen([sys.executable, "-c", textwrap.dedent(program)], stderr=subprocess.PIPE, text=True)
                for _ in range(20)]
    errors = [child.communicate(timeout=60)[1] for child in children]
    assert [child.returncode for child in children] == [0] * 20, errors


# Forks one process per margin: each exhausts the heap under RLIMIT_AS, frees `margin` bytes in one piece and
# meets the process's first internal failure, which must make the PanicException class. Afterwards, with the
# memory given back, a second internal failure must still raise PanicException.
FIRST_INTERNAL_FAILURE_WITHOUT_MEMORY = """
    import ctypes
    import json

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
        limit_address_space(16)
        count = exhaust_all_but(margin)
        first = outcome()
        for index in range(count):
            libc.free(blocks[index])
        return first if outcome() == 11 else 12


    results = {}
    for margin in range(0, 8192, 16):
        code = exit_code_in_fork(lambda: child(margin))
        results[margin] = OUTCOMES.get(code, f"ended with {code}")
    print(json.dumps(results))
    """


without_address_sanitizer = pytest.mark.skipif(
    sanitized(), reason="the address sanitizer reserves terabytes of address space for its shadow memory, so no "
                        "RLIMIT_AS can be set under it")


@without_address_sanitizer
def test_first_internal_failure_without_memory():
    child = run_child(FIRST_INTERNAL_FAILURE_WITHOUT_MEMORY, timeout=120, prelude=MEMORY_LIMITS)
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


# A copy that runs out of memory under RLIMIT_AS, at several headroom values, as the first C++ exception of a
# thread: of the main thread in a forked process, and of a new thread. Each ends in MemoryError, or in the sum
# where it fits; the C library must not end the process for want of the thread's exception state.
@without_address_sanitizer
def test_out_of_memory_in_a_copy_as_a_threads_first_exception():
    child = run_child("""
        import json
        import threading

        import veltrix_compute._compute as compute

        big = compute.sum([compute.NumericSeries.Reference("s").abs()] * 1_500_000)
        before = hash(big.to_json())


        def outcome():
            try:
                big + big
            except MemoryError:
                return "MemoryError"
            return "fits"


        def outcome_code_within(headroom):
            limit_address_space(headroom)
            return 10 if outcome() == "MemoryError" else 11


        outcomes = []
        for headroom in (8, 16, 32, 64, 96):
            code = exit_code_in_fork(lambda: outcome_code_within(headroom))
            outcomes.append({10: "MemoryError", 11: "fits"}.get(code, f"ended with {code}"))
            # Started before the limit is set, which leaves no room for its stack.
            result, go = [], threading.Event()
            thread = threading.Thread(target=lambda: go.wait() and result.append(outcome()))
            thread.start()
            limit_address_space(headroom)
            go.set()
            thread.join()
            lift_address_space_limit()
            outcomes += result or ["no outcome"]
        print(json.dumps([outcomes, hash(big.to_json()) == before]))
        """, prelude=MEMORY_LIMITS)
    assert child.returncode == 0, child.stderr
    outcomes, intact = json.loads(child.stdout)
    assert len(outcomes) == 10 and set(outcomes) <= {"MemoryError", "fits"}, outcomes
    assert intact


# A 100 MB name, plain or with one escaped byte, is written within 400 MiB more address space: the buffer and the
# str each take about its length.
@without_address_sanitizer
def test_escaped_text_needs_memory_for_its_output_only():
    child = run_child("""
        from veltrix_compute._compute import NumericSeries

        for prefix in ("", "\\n"):
            series = NumericSeries.Reference(prefix + "x" * 100_000_000)
            limit_address_space(400)
            text = series.to_json()
            lift_address_space_limit()
            print(len(text), text[:32], text[-8:])
        """, prelude=MEMORY_LIMITS)
    assert child.returncode == 0, child.stderr
    assert child.stdout.splitlines() == [
        '100000032 {"type":"raw","raw":{"name":"xxx xxxxx"}}',
        '100000034 {"type":"raw","raw":{"name":"\\nx xxxxx"}}',
    ]
