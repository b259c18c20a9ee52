// Preloaded into the stall benchmark (LD_PRELOAD): every fsync and fdatasync first waits
// QUILLON_SYNC_DELAY_MS milliseconds, as on a USB stick or a network share, then does its work.

#include <dlfcn.h>

#include <cstdlib>
#include <ctime>

namespace {

void Delay()
{
    static const long ms = [] {
        const char *text = std::getenv("QUILLON_SYNC_DELAY_MS");
        return text ? std::strtol(text, nullptr, 10) : 0L;
    }();
    if (ms <= 0)
        return;
    timespec wait{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}

template <typename TFunction> TFunction Next(const char *name)
{
    return reinterpret_cast<TFunction>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int fsync(int fd)
{
    static const auto real = Next<int (*)(int)>("fsync");
    Delay();
    return real(fd);
}

extern "C" int fdatasync(int fd)
{
    static const auto real = Next<int (*)(int)>("fdatasync");
    Delay();
    return real(fd);
}
