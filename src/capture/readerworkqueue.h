#pragma once

#include <windows.h>

// Holds, for the rest of the process, a lock on the platform's shared work
// queue, the one on which asynchronous source readers run their callbacks.
//
// A reader unlocks that queue as it is destroyed, and its last reference may
// go on one of the queue's own threads: a callback's work item lets go of
// the reader just after the callback returns, and the reader's owner cannot
// see that moment. Were that unlock the last one, the platform would shut
// the queue down from one of its own threads and wait for itself, holding
// the lock of every work queue in the process: no reader could be created
// or read again. With this lock held, a reader's unlock is never the last.
//
// Called before every reader is created; only the first call locks. S_FALSE
// where the platform has no shared work queues (its readers do not use
// them).
HRESULT HoldReaderWorkQueue();
