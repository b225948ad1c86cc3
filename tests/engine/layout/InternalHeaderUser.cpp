// A user of the engine that includes one of its internal headers. It must not compile: the
// test built on this file passes when the compiler cannot find the header.
#include "player/PlaybackCore.h"
