#include "support/lock_sys.h"

void sys_lock::lock() { pthread_mutex_lock(&mutex); }

void sys_lock::unlock() { pthread_mutex_unlock(&mutex); }
