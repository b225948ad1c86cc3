/* A stand-in for the scaling library that exports only its version function, so
   loading it must fail at the first entry point it lacks. */
unsigned swscale_version(void) {
    return 6u << 16;
}
