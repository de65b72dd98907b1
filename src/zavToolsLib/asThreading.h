/*
 * asThreading.h - the table of threading operations the service framework runs on.
 *
 * Threads, events and locks are addressed by handles; every operation returns a 32-bit status
 * (0 is success, 0xC7210003 a bad argument or an unknown handle) and may be called from any
 * thread. Event and lock handles are never 0; AS_PROCESS_LOCK selects the process-wide recursive
 * lock. Thread handles are POSIX thread ids.
 */
#ifndef ZAV_AS_THREADING_H
#define ZAV_AS_THREADING_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define AS_PROCESS_LOCK ((uint32_t)-1)

#define AS_LOCK_PLAIN 0u     /* recursive, lock failures reported */
#define AS_LOCK_RECURSIVE 1u /* recursive */
#define AS_LOCK_FAST 2u      /* not recursive */

/* A thread's function: its result is the thread's exit code. */
typedef uint32_t (*asThreadFunction)(void* argument);

typedef struct asThreadingTable {
    /* Starts function(argument) in a new detached thread; *thread gets its POSIX id. */
    uint32_t (*CreateThread)(asThreadFunction function, void* argument, unsigned long* thread);
    uint32_t (*GetCurrentThreadId)(unsigned long* id);
    uint32_t (*Sleep)(uint32_t milliseconds);
    /* initialState 1 creates the event signalled; manualReset 1 keeps it signalled until reset. */
    uint32_t (*CreateEvent)(uint32_t initialState, uint32_t manualReset, uint32_t* event);
    uint32_t (*SetEvent)(uint32_t event);
    uint32_t (*ResetEvent)(uint32_t event);
    /* 0 signalled, 0x4721000E time-out; 0xFFFFFFFF is a long time-out, not an endless one. */
    uint32_t (*WaitEvent)(uint32_t event, uint32_t milliseconds);
    uint32_t (*Reserved7)(uint32_t flag, uint32_t value1, uint32_t value2, uint32_t value3);
    /* Releases every waiter of the event, then forgets the handle. */
    uint32_t (*DestroyEvent)(uint32_t event);
    uint32_t (*CreateLock)(uint32_t kind, uint32_t* lock);
    uint32_t (*Lock)(uint32_t lock);
    /* 0 when taken, 0x4721000E when another thread holds the lock. */
    uint32_t (*TryLock)(uint32_t lock);
    uint32_t (*Unlock)(uint32_t lock);
    /* 0 also for an unknown handle. */
    uint32_t (*DestroyLock)(uint32_t lock);
    uint32_t (*Reserved14)(void);
    uint32_t (*Reserved15)(void);
    uint32_t (*Reserved16)(void);
    uint32_t (*Reserved17)(void);
    uint32_t (*Reserved18)(void);
    uint32_t (*Reserved19)(void);
} asThreadingTable;

#ifdef __cplusplus
}
#endif

#endif /* ZAV_AS_THREADING_H */
