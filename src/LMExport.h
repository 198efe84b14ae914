#pragma once
// The engine is built with hidden visibility: only what a host calls is exported.
// LM_EXPORT marks exported classes and the plain-named entry points (declared extern "C").
#define LM_EXPORT __attribute__((visibility("default")))
