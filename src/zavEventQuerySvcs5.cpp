// The shared object is zavcore linked whole; its version script decides what is exported.
// A target needs at least one source of its own, and this is it.
