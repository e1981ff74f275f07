#include "core/base/locks.h"
#include "core/base/logs.h"
#include "platform/paths.h"
#include "testing/sandboxTest.h"

#include <atomic>
#include <gtest/gtest.h>
#include <sys/sem.h>
#include <thread>

namespace {

class Locks : public SandboxTest {
protected:
    void TearDown() override
    {
        sem_sys_remove();
        SandboxTest::TearDown();
    }
};

TEST_F(Locks, StartRecreatesASetLeftTakenByAnEarlierRun)
{
    // An earlier run died holding the bus-1 semaphore.
    int stale = semget(sysvKey(1001), 1, IPC_CREAT | IPC_EXCL | 0600);
    ASSERT_GE(stale, 0);
    ASSERT_EQ(semctl(stale, 0, SETVAL, 0), 0);

    sem_sys_init();
    for (int id : semIds) {
        ASSERT_GE(id, 0);
        EXPECT_EQ(semctl(id, 0, GETVAL), 1);
    }
    EXPECT_NE(semIds[1], stale);
    EXPECT_EQ(sem_sys_wait(semIds[1], 0x51), 0);
    EXPECT_EQ(sem_sys_trywait(semIds[1], 0x51), 1); // taken: would block
    EXPECT_EQ(sem_sys_post(semIds[1], 0x51), 0);
    EXPECT_EQ(sem_sys_trywait(semIds[1], 0x51), 0);
    EXPECT_EQ(sem_sys_post(semIds[1], 0x51), 0);
}

TEST_F(Locks, KeepingAnExistingSetAndFailures)
{
    int slot = -7;
    ASSERT_EQ(sem_sys_create(&slot, 1002, 1), 0);
    int first = slot;
    EXPECT_EQ(sem_sys_create(&slot, 1002, 0), 0); // kept as it is
    EXPECT_EQ(slot, first);
    semIds[2] = first;

    // A semaphore that never came into being fails at once instead of
    // retrying forever.
    EXPECT_EQ(sem_sys_wait(-1, 0), -1);
    EXPECT_EQ(sem_sys_post(-1, 0), -1);
    EXPECT_EQ(sem_sys_trywait(-1, 0), -1);
    // So does a removed one.
    semctl(first, 0, IPC_RMID);
    EXPECT_EQ(sem_sys_wait(first, 0), -1);
}

TEST_F(Locks, NamedMutexesAreRecursive)
{
    SemMutexInit();
    ASSERT_EQ(SemLock(SemAxiFpga, "SemAxiFpga"), 0);
    ASSERT_EQ(SemLock(SemAxiFpga, "SemAxiFpga"), 0);
    std::atomic<int> other{-1};
    std::thread([&] { other = SemTryLock(SemAxiFpga, "SemAxiFpga"); }).join();
    EXPECT_NE(other.load(), 0);
    EXPECT_EQ(SemUnlock(SemAxiFpga, "SemAxiFpga"), 0);
    std::thread([&] { other = SemTryLock(SemAxiFpga, "SemAxiFpga"); }).join();
    EXPECT_NE(other.load(), 0); // still held once
    EXPECT_EQ(SemUnlock(SemAxiFpga, "SemAxiFpga"), 0);
    std::thread([&] {
        other = SemTryLock(SemAxiFpga, "SemAxiFpga");
        if (other == 0)
            SemUnlock(SemAxiFpga, "SemAxiFpga");
    }).join();
    EXPECT_EQ(other.load(), 0);
}

class LockLines : public SandboxTest {
protected:
    LockLines() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}
    void TearDown() override
    {
        sem_sys_remove();
        SandboxTest::TearDown();
    }
};

TEST_F(LockLines, DebugLinesByMaskAndFailureLines)
{
    sem_sys_init();
    SemMutexInit();
    auto oneOfEach = [] {
        sem_sys_wait(semIds[1], 0x51);
        sem_sys_post(semIds[1], 0x51);
        sem_sys_trywait(semIds[1], 0x20);
        sem_sys_post(semIds[1], 0x20);
        SemLock(SemAxiFpga, "SemAxiFpga");
        SemUnlock(SemAxiFpga, "SemAxiFpga");
        SemTryLock(SemCplLock, "SemCplLock");
        SemUnlock(SemCplLock, "SemCplLock");
    };
    // The semaphore lines pass the SEM_I2C gate and carry the SEM label.
    debugModuleMask = 0x8000000;
    oneOfEach();
    EXPECT_EQ(debugLog(), "[sem_sys_wait - SEM] >> WAITLOCK I2C --- 0x51\n"
                          "[sem_sys_post - SEM] >> UNLOCK I2C --- 0x51\n"
                          "[sem_sys_trywait - SEM] >> TRYWAITLOCK I2C  --- 0x20\n"
                          "[sem_sys_post - SEM] >> UNLOCK I2C --- 0x20\n");
    std::string before = debugLog();
    debugModuleMask = 0x100000;
    oneOfEach();
    EXPECT_EQ(debugLog().substr(before.size()), "[SemLock - SEM] >> WAITLOCK  --- SemAxiFpga\n"
                                                "[SemUnlock - SEM] >> RELEASE --- SemAxiFpga\n"
                                                "[SemTryLock - SEM] >> TRYWAITLOCK  --- SemCplLock\n"
                                                "[SemUnlock - SEM] >> RELEASE --- SemCplLock\n");

    // Releasing a mutex this thread does not hold fails, is logged and returned.
    EXPECT_EQ(SemUnlock(SemCplLock, "SemCplLock"), EPERM);
    EXPECT_NE(book().find("ERR: RELEASE SemCplLock FAILED! (Ret=" + std::to_string(EPERM) + " ("), std::string::npos)
        << book();
}

} // namespace
