/* Linked only when ICU's static archives go into the module.
 *
 * Debian builds libicuuc.a as position-dependent code: its putil object reads
 * glibc's `tzname` and `__timezone` through PC-relative relocations that a
 * shared object cannot resolve against another shared library. Local hidden
 * definitions satisfy them. The only ICU functions that read them report the
 * host time zone (uprv_timezone, uprv_tzname), which belong to ICU's time
 * zone support; nothing in this module calls it, and the libc values stay
 * untouched for everyone else. Deliberately no <time.h> here: it declares
 * the libc symbols with other linkage. */
__attribute__((visibility("hidden"))) char* tzname[2] = {"UTC", "UTC"};
__attribute__((visibility("hidden"))) long __timezone = 0;
