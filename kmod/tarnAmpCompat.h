/*
 * tarn_amp: what differs between kernel versions and architectures.
 */
#ifndef TARN_AMP_COMPAT_H
#define TARN_AMP_COMPAT_H

#include <linux/version.h>
#include <linux/cpu.h>
#include <asm/barrier.h>
#ifdef CONFIG_ARM
#include <asm/cacheflush.h>
#include <asm/outercache.h>
#endif

/* CPU hot-plug from a module: cpu_down/cpu_up, remove_cpu/add_cpu since
 * 5.7.  The newer calls give 1 when the CPU already was in the state asked
 * for, and a negative error when it could not be moved. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(5, 7, 0)
#define tarn_cpu_down(cpu) remove_cpu(cpu)
#define tarn_cpu_up(cpu) add_cpu(cpu)
#else
#define tarn_cpu_down(cpu) cpu_down(cpu)
#define tarn_cpu_up(cpu) cpu_up(cpu)
#endif

#ifdef CONFIG_ARM
#define tarn_dsb() dsb(sy)
#define tarn_dmb() dmb(sy)
/* On ARM wmb() is a data synchronisation barrier and the outer-cache sync. */
#define tarn_wmb() wmb()
/* v7_flush_kern_cache_all on a v7-only kernel; the exported cache
 * operation of a kernel built for several cache types. */
#define tarn_flush_cache_all() flush_cache_all()
#define tarn_outer_clean_range(start, end) outer_clean_range(start, end)
#else
/* Other architectures (the build check on the development machine): the
 * generic barriers; there is no outer cache. */
#define tarn_dsb() mb()
#define tarn_dmb() mb()
#define tarn_wmb() wmb()
#define tarn_flush_cache_all() mb()
#define tarn_outer_clean_range(start, end) do { (void)(start); (void)(end); } while (0)
#endif

#endif
