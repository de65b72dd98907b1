#include "WorkerPool.h"

namespace eqsrv {

CWorkerPool::CWorkerPool(size_t workers, size_t queue)
    : m_uWorkers(workers == 0 ? 1 : workers), m_uQueue(queue) {
    for (size_t i = 0; i < m_uWorkers; ++i) m_threads.emplace_back([this] { Work(); });
}

CWorkerPool::~CWorkerPool() { Stop(); }

bool CWorkerPool::Admit(std::function<void()> start) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_uRunning < m_uWorkers) {
            ++m_uRunning;
            m_tasks.push_back(std::move(start));
        } else if (m_waiting.size() < m_uQueue) {
            m_waiting.push_back(std::move(start));
            return true;
        } else {
            return false;
        }
    }
    m_wake.notify_one();
    return true;
}

void CWorkerPool::Post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void CWorkerPool::Release() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_waiting.empty()) {
            --m_uRunning;
            return;
        }
        m_tasks.push_back(std::move(m_waiting.front()));
        m_waiting.pop_front();
    }
    m_wake.notify_one();
}

void CWorkerPool::Stop() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bStop) return;
        m_bStop = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads) thread.join();
    // What the tasks hold goes here, after the threads, outside the lock.
    std::lock_guard<std::mutex> lock(m_mutex);
    dropped.swap(m_tasks);
    dropped.insert(dropped.end(), m_waiting.begin(), m_waiting.end());
    m_waiting.clear();
}

std::pair<size_t, size_t> CWorkerPool::Load() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_uRunning, m_waiting.size()};
}

void CWorkerPool::Work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_bStop || !m_tasks.empty(); });
            if (m_bStop) return;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}

}  // namespace eqsrv
