// Locks: the System V semaphores of the I2C buses and the named recursive
// mutexes of the FPGA exchange and the power-supply bus.
#pragma once

#include <pthread.h>
#include <cstdint>

// Ids of the semaphore sets with keys 1000, 1001 and 1002; -1 when the set
// could not be created.
extern int semIds[3];

extern pthread_mutex_t* SemAxiFpga;
extern pthread_mutex_t* SemCplLock;

void sem_sys_init();
int sem_sys_create(int* idSlot, int key, int recreate);
void sem_sys_remove();
int sem_sys_wait(int semId, uint32_t tag);
int sem_sys_post(int semId, uint32_t tag);
int sem_sys_trywait(int semId, uint32_t tag);

void SemMutexInit();
int SemLock(pthread_mutex_t* mutex, const char* name);
int SemUnlock(pthread_mutex_t* mutex, const char* name);
int SemTryLock(pthread_mutex_t* mutex, const char* name);
