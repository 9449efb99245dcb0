// web_compat.h: included before every source of the browser build. Debian 12's emscripten
// (3.1.6) ships a libc++ without std::bit_cast, which its clang has as a builtin.
#pragma once

#include <bit>

#ifndef __cpp_lib_bit_cast
namespace std {
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
    return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
