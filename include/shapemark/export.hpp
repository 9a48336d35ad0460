// SHAPEMARK_API marks what the shared library exports; everything else in it is hidden, so a
// program can only reach the public API and the library's internals may change freely.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define SHAPEMARK_API __attribute__((visibility("default")))
#else
#define SHAPEMARK_API
#endif
