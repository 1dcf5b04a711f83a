// Address-sanitizer settings for the programs that load the plug-in (the
// tests and wcxhost, when built with the sanitizers).
//
// The plug-in's thread-local callbacks live in a block that glibc allocates
// when a thread first touches them. GCC 12's leak checker guesses that
// block's size from the 16 bytes before it whenever it starts 16 bytes into
// a page, which with the sanitizer's allocator is another chunk's header: at
// one place in 64 the guess sends the leak check at exit into memory that is
// not there, and it dies ("Tracer caught signal 11").
// Without the guess, the block is still reached for the check through the
// thread's own storage.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }
