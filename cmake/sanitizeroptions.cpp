// Linked into every program of a sanitizer build (-DOSTRELL_SANITIZE=ON).
//
// The runtime of GCC up to 13 takes a dynamic TLS block that malloc happens
// to place 16 bytes past a page boundary for the header of a pre-2.25 glibc,
// and reads a size from the words before it. The leak check at exit then
// scans memory that is not there and dies ("Tracer caught signal 11") after
// every test passed. Whether a block lands there depends on the layout alone,
// so any unrelated change brings the failure or takes it away. Without the
// interception nothing is misread. ASAN_OPTIONS given by the user still win.
extern "C" __attribute__((used, visibility("default"))) const char *__asan_default_options()
{
    return "intercept_tls_get_addr=0";
}
