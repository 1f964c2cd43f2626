#include "tools/ostrevin-render/parallel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace render {

namespace {
using Clock = std::chrono::steady_clock;
double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }
} // namespace

double WorkerContext::operator()(const Vec3 &p)
{
    if (points++ == 0) {
        const Clock::time_point start = Clock::now();
        const double value = sampler.sample(p);
        firstSeconds = since(start);
        return value;
    }
    return sampler.sample(p);
}

PassStats runRows(const Sampler &sampler, int rows, int threads,
                  const std::function<void(int row, WorkerContext &context)> &row,
                  const std::function<void(long long pointsDone)> &tick)
{
    PassStats stats;
    if (rows <= 0)
        return stats;
    const int workers = std::max(1, std::min(threads, rows));
    std::atomic<int> nextRow{0};
    std::atomic<long long> done{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    std::mutex m;
    std::condition_variable finished;
    int running = workers;
    std::vector<WorkerContext> contexts(static_cast<std::size_t>(workers), WorkerContext(sampler));

    const Clock::time_point start = Clock::now();
    auto work = [&](WorkerContext &context) {
        try {
            for (int r; !failed && (r = nextRow++) < rows;) {
                const long long before = context.points;
                row(r, context);
                done += context.points - before;
            }
        } catch (...) {
            std::lock_guard<std::mutex> lock(m);
            if (!error)
                error = std::current_exception();
            failed = true;
        }
        std::lock_guard<std::mutex> lock(m);
        --running;
        finished.notify_all();
    };

    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(workers));
    try {
        for (WorkerContext &c : contexts)
            pool.emplace_back(work, std::ref(c));
    } catch (...) {
        // No thread could be had: the rows not taken yet are done here.
        std::lock_guard<std::mutex> lock(m);
        running -= workers - static_cast<int>(pool.size());
    }
    if (pool.empty()) {
        running = 1;
        work(contexts.front());
    }
    {
        std::unique_lock<std::mutex> lock(m);
        while (running > 0) {
            if (finished.wait_for(lock, std::chrono::milliseconds(100)) == std::cv_status::timeout && tick) {
                lock.unlock();
                tick(done);
                lock.lock();
            }
        }
    }
    for (std::thread &t : pool)
        t.join();
    stats.seconds = since(start);
    if (error)
        std::rethrow_exception(error);
    for (const WorkerContext &c : contexts) {
        stats.points += c.points;
        stats.slowestFirst = std::max(stats.slowestFirst, c.firstSeconds);
    }
    if (tick)
        tick(done);
    return stats;
}

} // namespace render
