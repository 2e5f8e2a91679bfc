// Items one thread hands to another in batches: the sender puts, and learns whether the receiver
// must be told (once per batch); the receiver takes everything put since it last took. The sender
// never waits for the receiver beyond the short lock.
#pragma once

#include <mutex>
#include <utility>
#include <vector>

template <class T> class HandOff {
public:
    // True when this item starts a batch: the receiver has not been told about it yet.
    bool Put(T item)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_items.push_back(std::move(item));
        const bool tell = !m_told;
        m_told = true;
        return tell;
    }
    // Everything put so far, oldest first; the next Put starts a new batch.
    std::vector<T> TakeAll()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<T> out;
        out.swap(m_items);
        m_told = false;
        return out;
    }
    bool Empty() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_items.empty();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<T> m_items;
    bool m_told = false;
};
