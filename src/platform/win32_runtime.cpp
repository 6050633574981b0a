// The C++ runtime's failure paths, replaced by small ones.
//
// hostcmd is built without exceptions, yet libstdc++'s own out-of-line
// helpers (std::__throw_length_error and friends, reached from std::string's
// checks and from operator new) throw. Linking them pulls in the exception
// objects, the unwinder, the verbose terminate handler with its demangler and
// a printf: most of the executable's weight. The versions here are what a
// program without exceptions gets anyway, a stop, but quietly: no "abnormal
// program termination" box from the C runtime, no unwinding. They are reached
// only when memory runs out or a string would exceed its maximum size.
#include <windows.h>

#include <cstdlib>
#include <new>
#include <bits/functexcept.h>

namespace {
[[noreturn]] void stopProcess() {
    // Exit code 0 like every other end: the host learns results only from
    // reply files, and one that never came tells it the command did not finish.
    ExitProcess(0);
}

void* allocate(std::size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (!block) stopProcess();
    return block;
}
}  // namespace

namespace std {
// Every helper <bits/functexcept.h> declares, so that no later use of the
// library (std::function, std::vector::at, ...) brings the baggage back.
void __throw_bad_exception() { stopProcess(); }
void __throw_bad_alloc() { stopProcess(); }
void __throw_bad_array_new_length() { stopProcess(); }
void __throw_bad_cast() { stopProcess(); }
void __throw_bad_typeid() { stopProcess(); }
void __throw_logic_error(const char*) { stopProcess(); }
void __throw_domain_error(const char*) { stopProcess(); }
void __throw_invalid_argument(const char*) { stopProcess(); }
void __throw_length_error(const char*) { stopProcess(); }
void __throw_out_of_range(const char*) { stopProcess(); }
void __throw_out_of_range_fmt(const char*, ...) { stopProcess(); }
void __throw_runtime_error(const char*) { stopProcess(); }
void __throw_range_error(const char*) { stopProcess(); }
void __throw_overflow_error(const char*) { stopProcess(); }
void __throw_underflow_error(const char*) { stopProcess(); }
void __throw_system_error(int) { stopProcess(); }
void __throw_bad_function_call() { stopProcess(); }
}  // namespace std

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
