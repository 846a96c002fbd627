#pragma once

// Only what carries HOST_EXPORT leaves libafshost.so; everything else is
// built with hidden visibility.
#define HOST_EXPORT __attribute__((visibility("default")))

typedef long long LONGLONG;
typedef unsigned int ULONG;
