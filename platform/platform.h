// The platform layer: the operating system's services in the system's own terms.
//
// Everything above this header is portable; only the files under platform/<os>/ include
// operating-system headers. Every name of a file and every text handed to these functions, or
// returned by them, is UTF-8 (the system's 8-bit texts are converted where they enter, see
// latin1_text.h); each implementation gives them to its operating system in its own form.
//
// One header per service; this one brings them all. Two services can be swapped by tests for
// recording fakes: the message service (message boxes and diagnostic traces) and the memory
// service (the heap behind every allocation). The setters are in
// platform/testing/platform_testing.h, which only test programs can include.
#pragma once

#include "platform/clipboard.h"
#include "platform/documents.h"
#include "platform/files.h"
#include "platform/launcher_services.h"
#include "platform/memory.h"
#include "platform/messages.h"
#include "platform/modules.h"
#include "platform/replacing.h"
#include "platform/runtime_files.h"
