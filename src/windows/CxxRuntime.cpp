// What the C++ library needs from a program that never throws, linked into the
// stub only. Without these the library's exception support comes along (its
// unwinder, type information and a symbol-name demangler for the message of
// std::terminate), about half of the stub's size. Running out of memory, or a
// library precondition that fails, ends the process at once: that is what an
// uncaught exception would have done.
#include <bits/functexcept.h>

#include <cstdlib>
#include <new>

namespace {
[[noreturn]] void stop() { std::abort(); }
void* allocate(std::size_t size) noexcept { return std::malloc(size != 0 ? size : 1); }
void* allocateOrStop(std::size_t size) noexcept {
  void* memory = allocate(size);
  if (memory == nullptr) stop();
  return memory;
}
}  // namespace

void* operator new(std::size_t size) { return allocateOrStop(size); }
void* operator new[](std::size_t size) { return allocateOrStop(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace __gnu_cxx {
void __verbose_terminate_handler() { stop(); }
}  // namespace __gnu_cxx

// The hooks through which the library's own code reports a misuse.
namespace std {
void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept { stop(); }
void __throw_bad_exception() { stop(); }
void __throw_bad_alloc() { stop(); }
void __throw_bad_array_new_length() { stop(); }
void __throw_bad_cast() { stop(); }
void __throw_bad_typeid() { stop(); }
void __throw_logic_error(const char*) { stop(); }
void __throw_domain_error(const char*) { stop(); }
void __throw_invalid_argument(const char*) { stop(); }
void __throw_length_error(const char*) { stop(); }
void __throw_out_of_range(const char*) { stop(); }
void __throw_out_of_range_fmt(const char*, ...) { stop(); }
void __throw_runtime_error(const char*) { stop(); }
void __throw_range_error(const char*) { stop(); }
void __throw_overflow_error(const char*) { stop(); }
void __throw_underflow_error(const char*) { stop(); }
void __throw_ios_failure(const char*) { stop(); }
void __throw_ios_failure(const char*, int) { stop(); }
void __throw_system_error(int) { stop(); }
void __throw_future_error(int) { stop(); }
void __throw_bad_function_call() { stop(); }
}  // namespace std
