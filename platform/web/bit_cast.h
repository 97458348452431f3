// platform/web/bit_cast.h: std::bit_cast, which emscripten's libc++ 13 lacks,
// from the compiler's own builtin. Included first into every file of the
// browser build.
#pragma once
#include <bit>

#if !defined(__cpp_lib_bit_cast)
namespace std {
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept
{
    static_assert(sizeof(To) == sizeof(From), "bit_cast between types of one size");
    return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
