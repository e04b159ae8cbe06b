#include "RealTimeThread.h"

#include <pthread.h>
#include <sched.h>

bool RequestRealTimeScheduling() noexcept
{
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}
