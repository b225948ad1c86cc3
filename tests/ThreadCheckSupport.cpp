// ThreadSanitizer and the media libraries.
//
// The media libraries are loaded at run time and are not built with ThreadSanitizer. The
// threads of a task that share a frame or a packet are ordered by its reference count, an
// atomic counter inside libavutil that ThreadSanitizer cannot see: it sees only the memcpy
// and free calls the libraries make, and would report every handover of a frame between the
// reading and the encoding side of a task as a race. In ThreadSanitizer builds the tests
// therefore leave unchecked what uninstrumented libraries do through the intercepted
// functions; every access of the project's own code is still checked.
#if defined(__SANITIZE_THREAD__)

extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}

#endif
