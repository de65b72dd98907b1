// Threads on POSIX threads. A jsThread runs its run() in a detached thread; _asThread runs a plain
// function for the threading table.
//
// Ending a thread that does not stop: kill() never cancels a thread (cancellation unwinds C++
// frames by force and aborts the process when it meets a catch-all). From another thread, kill()
// abandons the thread instead: it writes the kill line, and the still running thread takes over
// the jsThread object and deletes it itself when run() finally returns. Whoever called kill()
// must therefore have created the object with new and must not touch it again when
// isAbandoned() is true. From the thread itself, kill() marks the thread killed (exit code
// 0xDEAD) and returns; run() is expected to return at once, and the exit code stays 0xDEAD
// whatever run() returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "zavToolsLib/asThreading.h"

namespace zavToolsLib {

class jsThreadImpl;

class jsThread {
public:
    static constexpr uint32_t kExitCodeRunning = 0x2001;  // the thread has not finished
    static constexpr uint32_t kExitCodeKilled = 0xDEAD;   // the thread ended itself through kill()

    // Priority levels 0, 1, 3 and 4 map to POSIX priorities 31, 47, 79 and 126, others to 63.
    jsThread(const char* pszName, int iPriorityLevel);

    virtual bool isValid() const;
    // A thread must not be destroyed while its run() executes: stop() it first.
    virtual ~jsThread();
    jsThread(const jsThread&) = delete;
    jsThread& operator=(const jsThread&) = delete;

    // Starts run() in a new detached thread. True without starting another while one runs.
    virtual bool start();
    // Asks the thread to stop and waits up to uTimeoutMs for it to end. False when it ended or
    // bKill is clear; otherwise kill() and true.
    virtual bool stop(uint32_t uTimeoutMs, bool bKill);
    // The thread's work; its result is the exit code.
    virtual uint32_t run() = 0;

    void kill();

    bool isRunning() const;  // a POSIX thread is recorded
    bool isStarted() const;  // the thread body has begun
    bool isAbandoned() const;
    bool stopRequested() const;
    // For run(): waits up to uTimeoutMs for a stop request; true when one was made.
    bool waitForStop(uint32_t uTimeoutMs);
    uint32_t exitCode() const;
    unsigned long threadId() const;      // 0 when no thread runs
    unsigned long lastThreadId() const;  // the id given by the last start, kept after it ends
    const std::string& name() const;
    int priority() const;

private:
    std::shared_ptr<jsThreadImpl> m_pImpl;  // shared with the running thread, which may outlive us
    bool m_bValid = false;
};

// Runs function(argument) once per start; the table creates it as "_asThread-instance", level 2.
class _asThread final : public jsThread {
public:
    _asThread(asThreadFunction pFunction, void* pArgument);

    uint32_t run() override;
    // The function has returned (the thread may still be on its way out).
    bool isFinished() const;

protected:
    // Called inside a catch block: writes the exception's text to standard error and rethrows.
    virtual void reportException();

private:
    asThreadFunction m_pFunction;
    void* m_pArgument;
    std::atomic<bool> m_bFinished{false};
};

}  // namespace zavToolsLib
