// A static object's address taken once, into a register.
//
// A 32-bit Windows image carries a base relocation for every instruction that names a fixed
// address, and the compiler names it again at each use rather than keep it in a register. Code
// that touches one static object many times takes its address through here: the empty asm hides
// where the pointer came from, so the uses go through the register.
#pragma once

template <typename T>
inline T* InRegister(T* address) {
  __asm__("" : "+r"(address));
  return address;
}
