// The C++ library's configuration header as the stub compiles against the musl C library.
//
// The C++ headers on this system were configured for glibc. The stub compiles them over musl's own
// headers, so that every structure, constant and function its code passes to the C library is musl's.
// This wrapper takes the few glibc assumptions out of the configuration; anything else that does not
// agree shows up as a compile error, not as a fault at run time.
#ifndef SELFPACK_STUB_CXXCONFIG_WRAPPER
#define SELFPACK_STUB_CXXCONFIG_WRAPPER

// The configuration asks for glibc versions; no glibc is present.
#define __GLIBC_PREREQ(major, minor) 0

#include_next <bits/c++config.h>

// Threads: always call the pthread functions. Without this the headers would test for them through a
// weak reference, which a static link leaves empty unless something else pulls them in, and every
// lock would silently do nothing.
#undef _GLIBCXX_GTHREAD_USE_WEAK
#define _GLIBCXX_GTHREAD_USE_WEAK 0

// Waits and timed locks on a named clock are glibc extensions musl does not have.
#undef _GLIBCXX_USE_PTHREAD_COND_CLOCKWAIT
#undef _GLIBCXX_USE_PTHREAD_MUTEX_CLOCKLOCK
#undef _GLIBCXX_USE_PTHREAD_RWLOCK_CLOCKLOCK

#ifdef __cplusplus
// Names the locale headers expect from glibc's C headers. The stub uses no locale, no stream and no
// character classification of the C++ library; they only have to declare. The class bits keep glibc's
// values, the ones the C++ library's own compiled code was built with.
#include <locale.h>
typedef locale_t __locale_t;
enum {
    _ISupper = 0x100, _ISlower = 0x200, _ISalpha = 0x400, _ISdigit = 0x800, _ISxdigit = 0x1000,
    _ISspace = 0x2000, _ISprint = 0x4000, _ISgraph = 0x8000, _ISblank = 0x1, _IScntrl = 0x2,
    _ISpunct = 0x4, _ISalnum = 0x8
};
#endif

#endif
