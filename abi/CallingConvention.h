#pragma once
// Calling conventions of the MSVC-built game.
//
// On x86 the game's member functions and virtual calls use thiscall (this in
// ECX, callee pops the stack arguments). Off i686 the attribute means nothing,
// and `this` is simply the first argument, so the macro is empty there.

#if defined(__i386__) || defined(_M_IX86)
#define QL_THISCALL __attribute__((thiscall))
#else
#define QL_THISCALL
#endif

// Exports of the plug-in: undecorated C names, cdecl.
#if defined(_WIN32)
#define QL_EXPORT extern "C" __declspec(dllexport)
#else
#define QL_EXPORT extern "C" __attribute__((visibility("default")))
#endif
