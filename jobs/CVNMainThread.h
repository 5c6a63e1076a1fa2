// The only two ways work crosses from a job's worker thread to the main thread:
// post a block (queued, run in the order posted) or run one there and wait.
#pragma once

#include <functional>

class QObject;

// Queues `block` to run on the main thread after every block posted before it.
// Never waits. Safe from any thread; needs a QCoreApplication.
void CVNPostToMainThread(std::function<void()> block);

// As above, but `block` is dropped when `context` (an object living on the main
// thread) is destroyed before it runs, so a block may use `context` freely.
// Blocks posted with and without a context keep one order between them.
void CVNPostToMainThread(QObject* context, std::function<void()> block);

// Runs `block` on the main thread and returns once it has run; inline when called
// on the main thread. Exceptions do not cross: `block` must not throw. The main
// thread must never wait for a job, or this would deadlock.
void CVNPerformOnMainThreadAndWait(std::function<void()> block);

// True on the thread of the QCoreApplication.
bool CVNIsMainThread();
