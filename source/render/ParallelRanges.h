// Splits [0, count) into one contiguous range per core and runs
// work(begin, end) on each, the calling thread taking the first.  The
// ranges depend only on count and the core count, and work must give the
// same result whichever thread runs a range.
#ifndef SKYVANE_PARALLELRANGES_H
#define SKYVANE_PARALLELRANGES_H

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

template <typename Work>
void forEachRange(int count, int minimumPerThread, Work&& work)
{
    if (count <= 0)
        return;
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    const int threads = std::min(cores, std::max(1, count / std::max(1, minimumPerThread)));
    auto rangeStart = [count, threads](int t) { return int((long long)count * t / threads); };
    std::vector<std::thread> pool;
    int done = 1;
    try {
        pool.reserve(size_t(threads));
        for (; done < threads; ++done) {
            const int begin = rangeStart(done);
            const int end = rangeStart(done + 1);
            pool.emplace_back([&work, begin, end] { work(begin, end); });
        }
    } catch (const std::system_error&) {
        // No more threads to be had: this thread does the rest.
    }
    work(0, rangeStart(1));
    if (done < threads)
        work(rangeStart(done), count);
    for (auto& thread : pool)
        thread.join();
}

#endif
