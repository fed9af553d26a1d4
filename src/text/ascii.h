#ifndef VORN_TEXT_ASCII_H_
#define VORN_TEXT_ASCII_H_

// Case of ASCII letters, whatever the process's C locale (which <cctype>
// follows). Enough wherever the text is known to be ASCII or only its ASCII
// letters matter: locale subtags, the default engine's English words.

namespace vorn {

constexpr bool isAsciiUpper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool isAsciiLower(char c) { return c >= 'a' && c <= 'z'; }

// `c` in the other case when it is an ASCII letter; anything else unchanged.
constexpr char toAsciiLower(char c) { return isAsciiUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char toAsciiUpper(char c) { return isAsciiLower(c) ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace vorn

#endif  // VORN_TEXT_ASCII_H_
