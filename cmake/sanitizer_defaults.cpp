// Defaults of the sanitizer runtimes, linked into every program, test and
// package of a build with KW_SANITIZE (runtime options in the environment
// still win).  Undefined behaviour stops the process, so that a test that
// meets it fails; leaks are reported at exit.  The only suppressed leaks are
// those of the font configuration library, which keeps its caches (a few
// hundred bytes to a few kilobytes) until the process ends; it is not ours to
// free.
extern "C" {

__attribute__((visibility("default"), used)) const char* __asan_default_options() {
  return "detect_leaks=1:detect_odr_violation=2:strict_init_order=1";
}

__attribute__((visibility("default"), used)) const char* __ubsan_default_options() {
  return "halt_on_error=1:print_stacktrace=1";
}

__attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

}  // extern "C"
