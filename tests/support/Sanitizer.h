#pragma once
// Whether the tests run in the sanitizer build, where the slowest loops are cut short.

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool UnderSanitizer = true;
#else
inline constexpr bool UnderSanitizer = false;
#endif
