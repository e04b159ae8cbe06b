#include "VectorLanes.h"

bool CVectorLanes::ProcessorHasWide()
{
#if defined(QUANDEL_WIDE_LANES)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") != 0;
#else
    return false;
#endif
}

std::atomic<bool> CVectorLanes::s_wide{CVectorLanes::ProcessorHasWide()};

bool CVectorLanes::UseWide(bool wide)
{
    s_wide.store(wide && ProcessorHasWide(), std::memory_order_relaxed);
    return Wide();
}
