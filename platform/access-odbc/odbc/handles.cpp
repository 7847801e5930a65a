#include "odbc/handles.h"

#include <mutex>
#include <unordered_set>

namespace accessodbc {
namespace {

struct LiveHandles {
    std::mutex mutex;
    std::unordered_set<const void *> handles;
};

// Never destroyed: a handle freed while the library unloads must still find the set.
LiveHandles &liveHandles()
{
    static LiveHandles *live = new LiveHandles;
    return *live;
}

} // namespace

void addLiveHandle(const void *handle)
{
    LiveHandles &live = liveHandles();
    std::lock_guard<std::mutex> lock(live.mutex);
    live.handles.insert(handle);
}

void removeLiveHandle(const void *handle)
{
    LiveHandles &live = liveHandles();
    std::lock_guard<std::mutex> lock(live.mutex);
    live.handles.erase(handle);
}

bool isLiveHandle(const void *handle)
{
    if (!handle)
        return false;
    LiveHandles &live = liveHandles();
    std::lock_guard<std::mutex> lock(live.mutex);
    return live.handles.count(handle) > 0;
}

} // namespace accessodbc
