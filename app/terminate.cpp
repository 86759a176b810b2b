// The program throws nothing: a failure the runtime cannot handle ends the
// process at once, with no message. Standing in for the library's verbose
// handler, and for the helpers its containers call to throw (a string too
// long, no memory), also keeps its name demangler and its exception types
// with their messages (about 50 KB together) out of the program.
#include <windows.h>

namespace {

[[noreturn]] void EndAtOnce()
{
    TerminateProcess(GetCurrentProcess(), 3);
    __builtin_unreachable();
}

}  // namespace

namespace __gnu_cxx {

void __verbose_terminate_handler() { EndAtOnce(); }

}  // namespace __gnu_cxx

namespace std {

void __throw_bad_alloc() { EndAtOnce(); }
void __throw_bad_array_new_length() { EndAtOnce(); }
void __throw_bad_cast() { EndAtOnce(); }
void __throw_bad_function_call() { EndAtOnce(); }
void __throw_length_error(const char*) { EndAtOnce(); }
void __throw_logic_error(const char*) { EndAtOnce(); }
void __throw_out_of_range(const char*) { EndAtOnce(); }
void __throw_out_of_range_fmt(const char*, ...) { EndAtOnce(); }
void __throw_invalid_argument(const char*) { EndAtOnce(); }
void __throw_system_error(int) { EndAtOnce(); }

}  // namespace std
