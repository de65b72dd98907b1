// The threads that do eq-server's store work. A request is admitted when one of the workers is
// free or fewer than the queue's length wait; it then holds its worker (a slot, not a thread)
// until its answer is written, so that no more answers read the store at once than there are
// workers, and a busy server refuses at once instead of queueing without bound.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace eqsrv {

class CWorkerPool {
public:
    CWorkerPool(size_t workers, size_t queue);
    ~CWorkerPool();
    CWorkerPool(const CWorkerPool&) = delete;
    CWorkerPool& operator=(const CWorkerPool&) = delete;

    // Runs start on a worker now or once a slot is free; false (nothing runs) when the queue is
    // full. An admitted request calls Release exactly once, when its answer is done.
    bool Admit(std::function<void()> start);
    // Further work of an admitted request.
    void Post(std::function<void()> task);
    void Release();
    // Ends the threads after their current task; tasks still queued are dropped.
    void Stop();
    // Requests holding a slot, and admitted ones waiting for one (for the metrics).
    std::pair<size_t, size_t> Load();

private:
    void Work();

    const size_t m_uWorkers, m_uQueue;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    std::deque<std::function<void()>> m_waiting;  // admitted, no slot yet
    size_t m_uRunning = 0;                        // admitted with a slot
    bool m_bStop = false;
    std::vector<std::thread> m_threads;
};

}  // namespace eqsrv
