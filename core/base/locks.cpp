// Locks: System V semaphores per I2C bus, named recursive mutexes.
#include "core/base/locks.h"

#include "core/base/logs.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/ipc.h>
#include <sys/sem.h>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

int semIds[3] = {-1, -1, -1};
pthread_mutex_t* SemAxiFpga = nullptr;
pthread_mutex_t* SemCplLock = nullptr;

namespace {

pthread_mutexattr_t mutexAttr;

union SemArg {
    int val;
    struct semid_ds* buf;
    unsigned short* array;
};

#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer does not know System V semaphores as locks: a take is
// told as an acquire and a give as a release of a word standing for the
// set, so what a semaphore guards between threads is seen as guarded.
char semTsanTag[64];
void* semTsanWord(int semId)
{
    return &semTsanTag[static_cast<unsigned>(semId) % sizeof semTsanTag];
}
#endif

// One operation on semaphore 0 of the set; an interrupted wait is resumed,
// any other failure is returned.
int semOp(int semId, short delta, short flags)
{
    struct sembuf op = {0, delta, flags};
#if defined(__SANITIZE_THREAD__)
    if (delta > 0)
        __tsan_release(semTsanWord(semId));
#endif
    for (;;) {
        if (semop(semId, &op, 1) == 0) {
#if defined(__SANITIZE_THREAD__)
            if (delta < 0)
                __tsan_acquire(semTsanWord(semId));
#endif
            return 0;
        }
        if (errno != EINTR)
            return -1;
    }
}

} // namespace

int sem_sys_create(int* idSlot, int key, int recreate)
{
    key_t k = sysvKey(key);
    int id = semget(k, 1, IPC_CREAT | IPC_EXCL);
    if (id < 0) {
        if (errno != EEXIST)
            return -3;
        id = semget(k, 1, 0);
        if (id < 0)
            return -1;
        if (recreate == 1) {
            semctl(id, 0, IPC_RMID);
            id = semget(k, 1, IPC_CREAT | IPC_EXCL);
            if (id < 0)
                return -2;
        } else {
            logInfo("Correctly obtained already existing I2C semaphore %d", id);
        }
    }
    if (recreate == 1) {
        SemArg arg;
        arg.val = 1;
        semctl(id, 0, SETVAL, arg);
    }
    *idSlot = id;
    return 0;
}

void sem_sys_init()
{
    for (int i = 0; i < 3; i++) {
        int r = sem_sys_create(&semIds[i], 1000 + i, 1);
        if (r == -1)
            logErr("Cannot obtain the already existing I2C semaphore - Init FAILED!");
        else if (r == -2)
            logErr("Cannot re-create the I2C semaphore - Init FAILED!");
        else if (r == -3)
            logErr("Cannot create the I2C semaphore - Init FAILED!");
        if (r != 0)
            semIds[i] = -1; // never leave a slot that names another set
    }
}

void sem_sys_remove()
{
    for (int& id : semIds) {
        if (id >= 0)
            semctl(id, 0, IPC_RMID);
        id = -1;
    }
}

int sem_sys_wait(int semId, uint32_t tag)
{
    debugPrintf(__func__, DBG_SEM_I2C, DBG_SEM, "WAITLOCK I2C --- 0x%X\n", tag);
    if (semId < 0)
        return -1;
    return semOp(semId, -1, 0);
}

int sem_sys_post(int semId, uint32_t tag)
{
    debugPrintf(__func__, DBG_SEM_I2C, DBG_SEM, "UNLOCK I2C --- 0x%X\n", tag);
    if (semId < 0)
        return -1;
    return semOp(semId, 1, 0);
}

int sem_sys_trywait(int semId, uint32_t tag)
{
    debugPrintf(__func__, DBG_SEM_I2C, DBG_SEM, "TRYWAITLOCK I2C  --- 0x%X\n", tag);
    if (semId < 0)
        return -1;
    if (semOp(semId, -1, IPC_NOWAIT) == 0)
        return 0;
    return errno == EAGAIN ? 1 : -1;
}

void SemMutexInit()
{
    SemAxiFpga = static_cast<pthread_mutex_t*>(malloc(sizeof(pthread_mutex_t)));
    SemCplLock = static_cast<pthread_mutex_t*>(malloc(sizeof(pthread_mutex_t)));
    pthread_mutexattr_init(&mutexAttr);
    pthread_mutexattr_settype(&mutexAttr, PTHREAD_MUTEX_RECURSIVE);
    if (SemAxiFpga)
        pthread_mutex_init(SemAxiFpga, &mutexAttr);
    if (SemCplLock)
        pthread_mutex_init(SemCplLock, &mutexAttr);
}

int SemLock(pthread_mutex_t* mutex, const char* name)
{
    DEBUG_PRINT(DBG_SEM, "WAITLOCK  --- %s\n", name);
    int r = mutex ? pthread_mutex_lock(mutex) : EINVAL;
    if (r != 0)
        logErr("WAITLOCK  %s FAILED! (Ret=%d (%s))", name, r, strerror(errno));
    return r;
}

int SemUnlock(pthread_mutex_t* mutex, const char* name)
{
    DEBUG_PRINT(DBG_SEM, "RELEASE --- %s\n", name);
    int r = mutex ? pthread_mutex_unlock(mutex) : EINVAL;
    if (r != 0)
        logErr("RELEASE %s FAILED! (Ret=%d (%s))", name, r, strerror(errno));
    return r;
}

int SemTryLock(pthread_mutex_t* mutex, const char* name)
{
    DEBUG_PRINT(DBG_SEM, "TRYWAITLOCK  --- %s\n", name);
    return mutex ? pthread_mutex_trylock(mutex) : EINVAL;
}
