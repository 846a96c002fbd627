#pragma once

#include <cstddef>  // libstdc++'s configuration: the string ABI in force

// The plug-in and libafshost are built with C++17 and libstdc++'s C++11
// string ABI, and C++ objects cross between them and the host: a host built
// otherwise fails at link or run time far from the cause, so it fails here.
#if __cplusplus < 201703L
#error "libafshost needs C++17 or later: compile the host with -std=c++17"
#elif defined(_GLIBCXX_USE_CXX11_ABI) && !_GLIBCXX_USE_CXX11_ABI
#error "libafshost needs the C++11 string ABI of libstdc++: do not define _GLIBCXX_USE_CXX11_ABI=0"
#endif

// Only what carries HOST_EXPORT leaves libafshost.so; everything else is
// built with hidden visibility.
#define HOST_EXPORT __attribute__((visibility("default")))

typedef long long LONGLONG;
typedef unsigned int ULONG;
