#include "diag/instance_counter.h"

std::atomic<long> CInstanceCounter::s_live{0};
