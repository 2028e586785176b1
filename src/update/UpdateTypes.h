#pragma once
// Row types of the update service: 0 the program, 1 a mouse-class product,
// 2 a keyboard-class product; a product's versions are written in
// hexadecimal. A header of their own: each product row names its type.

namespace m470 {

inline constexpr int kTypeProgram = 0;
inline constexpr int kTypeMouseClass = 1;
inline constexpr int kTypeKeyboardClass = 2;

}  // namespace m470
