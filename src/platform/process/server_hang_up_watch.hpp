#pragma once

namespace lumenary::platform {

// For a worker program: ends this process as soon as no one holds the
// server's end of its request descriptor any more, which happens when the
// server stops the worker, and when the server ends however it ended (the
// kernel closes a killed process's descriptors too). A worker in the middle
// of a long analysis so ends with the server, instead of finishing work no
// one will read and only then finding the pipe closed.
//
// Why the pipe rather than a parent-death signal: Linux sends that signal
// when the *thread* that started the child ends, not the process, and the
// server starts workers on threads that end long before it does (a video's
// frames are shared out by threads that live for one call, and the workers
// they start are kept for the next). The server process is the pipe's only
// writer, as its end is close-on-exec and no child of ours inherits it; a
// server that was gone before this call left the pipe hung up already,
// which the watch sees at once.
//
// Watches on a thread of its own. Returns 0, or the errno that kept the
// thread from starting.
int exitWhenServerHangsUp(int requestDescriptor);

}  // namespace lumenary::platform
